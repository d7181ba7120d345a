#include "platform/desktop/theme_icon_source.h"

#include <QStandardPaths>

namespace platform {
namespace {

bool hasWildcard(const QString& pattern)
{
    return pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
}

} // namespace

ThemeIconSource::ThemeIconSource()
{
    images_.push_back(QIcon::fromTheme(QStringLiteral("text-x-generic")));
    for (const QMimeType& type : mimeTypes_.allMimeTypes()) {
        for (const QString& pattern : type.globPatterns()) {
            if (pattern.startsWith(QLatin1String("*.")) && !hasWildcard(pattern.mid(2))) {
                const QString suffix = pattern.mid(2).toLower();
                if (suffix.contains(u'.'))
                    longSuffixes_.insert(suffix);
            } else if (!hasWildcard(pattern)) {
                typeByWholeName_.insert(pattern.toLower(), type.name());
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

// The suffix of lowerName_ that decides its type; empty for a name without one (".bashrc" too).
QString ThemeIconSource::knownSuffix() const
{
    const qsizetype lastDot = lowerName_.lastIndexOf(u'.');
    if (lastDot <= 0 || lastDot == lowerName_.size() - 1)
        return {};
    // The longest known suffix of two or three parts ("tar.gz") wins over the last part alone.
    qsizetype dot = lastDot;
    for (int parts = 2; parts <= 3; ++parts) {
        dot = dot > 0 ? lowerName_.lastIndexOf(u'.', dot - 1) : -1;
        if (dot <= 0)
            break;
        const QString suffix = lowerName_.sliced(dot + 1);
        if (longSuffixes_.contains(suffix))
            return suffix;
    }
    return lowerName_.sliced(lastDot + 1);
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
