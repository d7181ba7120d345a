#include "platform/theme_icon_source.h"

namespace platform {
namespace {

// The icon cache is keyed by the end of the name, which decides the type: the last two
// dot-separated parts ("tar.gz") when there are two, else the last one, else the whole name.
QString suffixKey(QStringView name)
{
    const qsizetype last = name.lastIndexOf(u'.');
    if (last <= 0)
        return name.toString().toLower();
    const qsizetype before = name.first(last).lastIndexOf(u'.');
    return name.sliced(before > 0 ? before + 1 : last + 1).toString().toLower();
}

constexpr qsizetype kMaxCachedSuffixes = 20000;

} // namespace

ThemeIconSource::ThemeIconSource()
{
    images_.push_back(QIcon::fromTheme(QStringLiteral("text-x-generic")));
    folderImage_ = imageFor(QStringLiteral("inode/directory"));
}

void ThemeIconSource::ensureIconTheme()
{
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

uint32_t ThemeIconSource::GetFileIcon(QStringView name, bool isFolder)
{
    if (isFolder)
        return folderImage_;
    const QString key = suffixKey(name);
    if (const auto found = imageBySuffix_.constFind(key); found != imageBySuffix_.constEnd())
        return *found;
    const uint32_t image =
        imageFor(mimeTypes_.mimeTypeForFile(name.toString(), QMimeDatabase::MatchExtension).name());
    if (imageBySuffix_.size() >= kMaxCachedSuffixes)
        imageBySuffix_.clear(); // names of endless variety: keep the cache bounded
    imageBySuffix_.insert(key, image);
    return image;
}

uint32_t ThemeIconSource::imageFor(const QString& mimeTypeName)
{
    if (const auto found = imageByMimeType_.constFind(mimeTypeName); found != imageByMimeType_.constEnd())
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
    imageByMimeType_.insert(mimeTypeName, image);
    return image;
}

QIcon ThemeIconSource::icon(uint32_t image) const
{
    return image < images_.size() ? images_[image] : images_.front();
}

} // namespace platform
