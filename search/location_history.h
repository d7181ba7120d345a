#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace search {

// A location as the list holds it: its text, and the bytes that searching it walks.
struct LocationEntry {
    QString text;
    QByteArray bytes; // empty for "全盘搜索", which walks the listed volumes
};

// Whether a searched location is already in the location list: the same text, ignoring case.
// A blank location counts as known, so it is never added.
bool isKnownLocation(const QString& trimmedLocation, const QStringList& entries);

// What the location list gains at a search's finish: the text standing in the field then,
// trimmed, unless it is known; with the bytes that were searched while it is still the text the
// search took, else with its own.
std::optional<LocationEntry> locationToRemember(const QString& fieldText, const QStringList& entries,
                                                const LocationEntry& searched);

} // namespace search
