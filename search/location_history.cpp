#include "search/location_history.h"

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

} // namespace search
