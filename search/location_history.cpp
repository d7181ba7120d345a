#include "search/location_history.h"

#include "platform/files/file_name_text.h"
#include "search/match/text_rules.h"

namespace search {

bool isKnownLocation(const QString& trimmedLocation, const QStringList& entries)
{
    if (trimmedLocation.isEmpty())
        return true;
    // Plain text, not a wildcard pattern: a listed "/x[1]" must not stand for "/x1".
    const QString wanted = upperCased(trimmedLocation);
    for (const QString& entry : entries)
        if (upperCased(entry) == wanted)
            return true;
    return false;
}

std::optional<LocationEntry> locationToRemember(const QString& fieldText, const QStringList& entries,
                                                const LocationEntry& searched)
{
    const QString text = trimBlanks(fieldText);
    if (isKnownLocation(text, entries))
        return std::nullopt;
    const bool searchedText = text == searched.text && !searched.bytes.isEmpty();
    return LocationEntry{text, searchedText ? searched.bytes : platform::fileNameBytes(text)};
}

} // namespace search
