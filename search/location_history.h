#pragma once

#include <QString>
#include <QStringList>

namespace search {

// Whether a searched location is already in the location list: the same text, ignoring case.
// A blank location counts as known, so it is never added.
bool isKnownLocation(const QString& trimmedLocation, const QStringList& entries);

} // namespace search
