#pragma once

#include "platform/desktop/row_icon_source.h"

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QSet>
#include <QString>

#include <vector>

namespace platform {

// The desktop icon theme's icon for an entry's type: a folder, or the MIME type that its name
// suggests, falling back to the type's generic icon and then to a plain file. One image per type,
// shared by every row of that type.
class ThemeIconSource : public RowIconSource {
public:
    ThemeIconSource();
    uint32_t GetFileIcon(QStringView name, bool isFolder) override;
    QIcon icon(uint32_t image) const override;
    // The MIME type whose icon a file of that name gets: a whole name the database knows
    // ("makefile"), else its longest known suffix of up to three parts ("tar.gz"), else its last.
    QString typeForFileName(QStringView name);

    // Without a desktop theme, Qt would show no per-type icons at all.
    static void ensureIconTheme();

private:
    uint32_t imageForType(const QString& mimeType);
    uint32_t imageForSuffix(const QString& suffix);
    QString knownSuffix() const;

    QMimeDatabase mimeTypes_;
    // From the MIME database's name patterns, once: whole names ("makefile") and suffixes of more
    // than one part ("tar.gz"); everything else is decided by the last suffix alone.
    QHash<QString, QString> typeByWholeName_;
    QSet<QString> longSuffixes_;
    QHash<QString, uint32_t> imageBySuffix_;
    QHash<QString, uint32_t> imageByType_;
    std::vector<QIcon> images_;
    uint32_t folderImage_ = 0;
    uint32_t noSuffixImage_ = 0;
    QString lowerName_; // reused, so that most lookups allocate nothing
};

} // namespace platform
