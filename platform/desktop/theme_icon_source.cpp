#include "platform/desktop/theme_icon_source.h"

#include "platform/desktop/mime_globs.h"

#include <QStandardPaths>

#include <algorithm>

namespace platform {
namespace {

bool hasWildcard(const QString& pattern)
{
    return pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
}

bool isAsciiText(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Where the suffix that decides a lower-cased name's type begins; -1 for a name without one
// (".bashrc" too). The longest known suffix of two or three parts ("tar.gz") wins over the last
// part alone. For a text and for an ASCII name's bytes alike.
template <typename Name, typename IsLongSuffix>
qsizetype suffixStart(const Name& name, IsLongSuffix isLongSuffix)
{
    const auto dotBefore = [&](qsizetype end) {
        for (qsizetype i = end - 1; i >= 0; --i)
            if (name[i] == u'.')
                return i;
        return qsizetype(-1);
    };
    const auto size = qsizetype(name.size());
    const qsizetype lastDot = dotBefore(size);
    if (lastDot <= 0 || lastDot == size - 1)
        return -1;
    qsizetype dot = lastDot;
    for (int parts = 2; parts <= 3; ++parts) {
        dot = dotBefore(dot);
        if (dot <= 0)
            break;
        if (isLongSuffix(dot + 1))
            return dot + 1;
    }
    return lastDot + 1;
}

} // namespace

ThemeIconSource::ThemeIconSource()
{
    images_.push_back(QIcon::fromTheme(QStringLiteral("text-x-generic")));
    for (const MimeGlob& glob : mimeGlobs(mimeTypes_)) {
        const QString& pattern = glob.pattern;
        if (pattern.startsWith(QLatin1String("*.")) && !hasWildcard(pattern.mid(2))) {
            const QString suffix = pattern.mid(2).toLower();
            if (suffix.contains(u'.')) {
                longSuffixes_.insert(suffix);
                if (isAsciiText(suffix))
                    asciiLongSuffixes_.insert(suffix.toStdString());
            }
        } else if (!hasWildcard(pattern) && !pattern.isEmpty()) {
            const QString name = pattern.toLower();
            if (typeByWholeName_.contains(name))
                continue; // the heaviest pattern for a name decides, as in the database
            typeByWholeName_.insert(name, glob.type);
            if (isAsciiText(name)) {
                const std::string bytes = name.toStdString();
                wholeNameHints_[std::min<size_t>(bytes.size(), 63)] |= uint64_t(1) << (bytes[0] & 63);
                asciiWholeNames_.insert(bytes);
            }
        }
    }
    folderImage_ = imageForType(QStringLiteral("inode/directory"));
    noSuffixImage_ = imageForType(QStringLiteral("application/octet-stream"));
}

void ThemeIconSource::ensureIconTheme()
{
    // Platforms without a desktop theme of their own (offscreen) look only in Qt's resources.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(dir))
            paths << dir;
    QIcon::setThemeSearchPaths(paths);
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

uint32_t ThemeIconSource::GetFileIcon(QStringView name, bool isFolder)
{
    if (isFolder)
        return folderImage_;
    lowerName_.resize(name.size());
    for (qsizetype i = 0; i < name.size(); ++i)
        lowerName_[i] = name[i].toLower();

    if (!typeByWholeName_.isEmpty()) {
        if (const auto found = typeByWholeName_.constFind(lowerName_); found != typeByWholeName_.constEnd())
            return imageForType(*found);
    }
    const QString suffix = knownSuffix();
    return suffix.isEmpty() ? noSuffixImage_ : imageForSuffix(suffix);
}

// An ASCII name lower-cases to the same bytes as its text does, so its image is found by the
// same rules on its bytes; a whole name the database knows, or any other name, takes the text's way.
uint32_t ThemeIconSource::iconForName(QByteArrayView name, bool isFolder)
{
    if (isFolder)
        return folderImage_;
    asciiLowerName_.resize(size_t(name.size()));
    unsigned char bits = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char c = name[i];
        bits |= static_cast<unsigned char>(c);
        asciiLowerName_[size_t(i)] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    if (bits >= 0x80 || (mayBeWholeName(asciiLowerName_) && asciiWholeNames_.contains(asciiLowerName_)))
        return GetFileIcon(fileNameText(name), false);
    const std::string_view suffix = knownAsciiSuffix();
    if (suffix.empty())
        return noSuffixImage_;
    if (const auto found = imageByAsciiSuffix_.find(suffix); found != imageByAsciiSuffix_.end())
        return found->second;
    const uint32_t image = imageForSuffix(QString::fromLatin1(suffix.data(), qsizetype(suffix.size())));
    imageByAsciiSuffix_.emplace(suffix, image);
    return image;
}

bool ThemeIconSource::mayBeWholeName(std::string_view lowerName) const
{
    return !lowerName.empty() && (wholeNameHints_[std::min<size_t>(lowerName.size(), 63)] >> (lowerName[0] & 63) & 1);
}

// knownSuffix() on the bytes of asciiLowerName_.
std::string_view ThemeIconSource::knownAsciiSuffix() const
{
    const std::string_view name = asciiLowerName_;
    const qsizetype start =
        suffixStart(name, [&](qsizetype at) { return asciiLongSuffixes_.contains(name.substr(size_t(at))); });
    return start < 0 ? std::string_view() : name.substr(size_t(start));
}

QString ThemeIconSource::typeForFileName(QStringView name)
{
    lowerName_ = name.toString().toLower();
    if (const auto found = typeByWholeName_.constFind(lowerName_); found != typeByWholeName_.constEnd())
        return *found;
    const QString suffix = knownSuffix();
    if (suffix.isEmpty())
        return QStringLiteral("application/octet-stream");
    return mimeTypes_.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension).name();
}

// The suffix of lowerName_ that decides its type; empty for a name without one.
QString ThemeIconSource::knownSuffix() const
{
    const qsizetype start =
        suffixStart(lowerName_, [&](qsizetype at) { return longSuffixes_.contains(lowerName_.sliced(at)); });
    return start < 0 ? QString() : lowerName_.sliced(start);
}

uint32_t ThemeIconSource::imageForSuffix(const QString& suffix)
{
    if (const auto found = imageBySuffix_.constFind(suffix); found != imageBySuffix_.constEnd())
        return *found;
    const QMimeType type = mimeTypes_.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
    const uint32_t image = imageForType(type.name());
    imageBySuffix_.insert(suffix, image);
    return image;
}

uint32_t ThemeIconSource::imageForType(const QString& mimeTypeName)
{
    if (const auto found = imageByType_.constFind(mimeTypeName); found != imageByType_.constEnd())
        return *found;
    const QMimeType type = mimeTypes_.mimeTypeForName(mimeTypeName);
    QIcon icon;
    for (const QString& candidate : {type.iconName(), type.genericIconName()}) {
        if (!candidate.isEmpty() && QIcon::hasThemeIcon(candidate)) {
            icon = QIcon::fromTheme(candidate);
            break;
        }
    }
    if (mimeTypeName == QLatin1String("inode/directory") && icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    uint32_t image = 0; // the plain file icon
    if (!icon.isNull()) {
        image = uint32_t(images_.size());
        images_.push_back(icon);
    }
    imageByType_.insert(mimeTypeName, image);
    return image;
}

QIcon ThemeIconSource::icon(uint32_t image) const
{
    return image < images_.size() ? images_[image] : images_.front();
}

} // namespace platform
