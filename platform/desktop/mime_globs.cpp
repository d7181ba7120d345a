#include "platform/desktop/mime_globs.h"

#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace platform {

// Lines of "weight:type:pattern[:flags]", sorted by weight, heaviest first.
std::vector<MimeGlob> parseGlobs2(QByteArrayView text)
{
    std::vector<MimeGlob> globs;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype typeStart = line.indexOf(':') + 1;
        const qsizetype patternStart = typeStart > 0 ? line.indexOf(':', typeStart) + 1 : 0;
        if (patternStart <= 0)
            continue;
        qsizetype patternEnd = line.indexOf(':', patternStart);
        if (patternEnd < 0)
            patternEnd = line.size();
        const QByteArrayView pattern = line.sliced(patternStart, patternEnd - patternStart);
        if (pattern.isEmpty() || pattern == "__NOGLOBS__")
            continue;
        globs.push_back({QString::fromUtf8(pattern),
                         QString::fromUtf8(line.sliced(typeStart, patternStart - 1 - typeStart))});
    }
    return globs;
}

std::vector<MimeGlob> mimeGlobs(const QMimeDatabase& database)
{
    std::vector<MimeGlob> globs;
    // The user's own folder first, as the database reads them.
    for (const QString& path : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        std::vector<MimeGlob> listed = parseGlobs2(file.readAll());
        globs.insert(globs.end(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
    }
    if (!globs.empty())
        return globs;
    for (const QMimeType& type : database.allMimeTypes())
        for (const QString& pattern : type.globPatterns())
            globs.push_back({pattern, type.name()});
    return globs;
}

} // namespace platform
