#pragma once

#include <QString>

#include <vector>

class QMimeDatabase;

namespace platform {

// A file-name pattern of the desktop's MIME database ("*.tar.gz", "Makefile") and its type.
struct MimeGlob {
    QString pattern;
    QString type;
};

// Every pattern of the database, the heaviest first. Read from the database's own list of them
// ("mime/globs2" in each data folder), where there is one: asking Qt for each type's patterns
// parses an XML file per type, which took half of the window's start. Where no such list is
// found, from Qt's database.
std::vector<MimeGlob> mimeGlobs(const QMimeDatabase& database);

// The patterns of one globs2 file, as listed (comments and the "__NOGLOBS__" marker left out).
std::vector<MimeGlob> parseGlobs2(QByteArrayView text);

} // namespace platform
