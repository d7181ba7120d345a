#pragma once

#include "platform/desktop/row_icon_source.h"

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QSet>
#include <QString>

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform {

// The desktop icon theme's icon for an entry's type: a folder, or the MIME type that its name
// suggests, falling back to the type's generic icon and then to a plain file. One image per type,
// shared by every row of that type.
class ThemeIconSource : public RowIconSource {
public:
    ThemeIconSource();
    uint32_t GetFileIcon(QStringView name, bool isFolder) override;
    uint32_t iconForName(QByteArrayView name, bool isFolder) override;
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
    std::string_view knownAsciiSuffix() const;

    // Heterogeneous lookup: a name's bytes are looked up without a key made of them.
    struct BytesHash : std::hash<std::string_view> {
        using is_transparent = void;
    };
    template <typename Value>
    using BytesMap = std::unordered_map<std::string, Value, BytesHash, std::equal_to<>>;
    using BytesSet = std::unordered_set<std::string, BytesHash, std::equal_to<>>;

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
    // The same tables for ASCII names, by their lower-cased bytes.
    BytesSet asciiWholeNames_;
    // Which first letters (their low six bits) the whole names of each length have: most names
    // are told not to be one without hashing them.
    std::array<uint64_t, 64> wholeNameHints_{};
    bool mayBeWholeName(std::string_view lowerName) const;
    BytesSet asciiLongSuffixes_;
    BytesMap<uint32_t> imageByAsciiSuffix_;
    std::string asciiLowerName_;
};

} // namespace platform
