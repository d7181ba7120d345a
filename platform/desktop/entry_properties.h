#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

// What the program's own properties dialog shows of an entry, read without following a link.
struct EntryProperties {
    QString name;
    QString location;     // the folder that holds it
    QString type;         // the MIME type's description
    bool isFolder = false;
    int64_t size = 0;     // in bytes; a folder shows its entries instead
    std::optional<int64_t> entryCount; // a folder's entries, "." and ".." not counted
    QDateTime modified;
    QDateTime accessed;
    QString owner;        // user and group, by name where the system knows them
    QString permissions;  // as "rwxr-xr-x", with the octal value after it
};

// Nothing when the entry has gone.
std::optional<EntryProperties> readEntryProperties(const QByteArray& path);

} // namespace platform
