#include "search/location_check.h"

#include "platform/files/file_attributes.h"
#include "platform/files/file_name_text.h"
#include "platform/files/file_system.h"
#include "search/match/text_rules.h"

namespace search {
namespace {

// The first spelling of the text under which something exists, if any.
std::optional<QByteArray> existingSpelling(platform::FileSystem& fileSystem, const QString& text,
                                           const std::optional<QByteArray>& listedBytes)
{
    QList<QByteArray> spellings = platform::typedPathSpellings(text);
    if (listedBytes)
        spellings.prepend(*listedBytes);
    for (const QByteArray& bytes : spellings)
        if (!bytes.contains('\0') && !fileSystem.firstMatch(bytes).isEmpty())
            return bytes;
    return std::nullopt;
}

CheckedLocation refused(LocationCheck outcome)
{
    CheckedLocation checked;
    checked.outcome = outcome;
    return checked;
}

} // namespace

CheckedLocation checkLocation(platform::FileSystem& fileSystem, const QString& typed,
                              const std::optional<QByteArray>& listedBytes)
{
    const QString trimmed = trimBlanks(typed);
    std::optional<QByteArray> path;
    if (typed != trimmed && !trimmed.isEmpty())
        path = existingSpelling(fileSystem, typed, listedBytes);
    // The empty path stands for the current folder, so a blank location passes this first test.
    if (!path)
        path = existingSpelling(fileSystem, trimmed, listedBytes);
    if (!path)
        return refused(LocationCheck::Missing);
    if (trimmed.isEmpty())
        return refused(LocationCheck::Blank);
    // A wildcard pattern exists as a listing but is no folder to search from.
    CheckedLocation checked;
    checked.outcome = LocationCheck::Usable;
    checked.root = *path;
    const std::optional<uint32_t> attributes = fileSystem.attributes(*path);
    if (!attributes || !(*attributes & platform::Directory)) {
        checked.isLink = fileSystem.isLinkToFolder(*path);
        if (!checked.isLink)
            return refused(LocationCheck::NotAFolder);
    }
    if (checked.root.endsWith('/'))
        checked.root.chop(1); // one separator only; "/" becomes the empty path, the root's own prefix
    return checked;
}

} // namespace search
