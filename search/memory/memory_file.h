#pragma once

#include "search/memory/walk_memory.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

class QIODevice;

namespace search {

// The memory as bytes, for the cache file (whose frame, platform/session/cache_file.h, adds the
// magic, the version, the length and the checksum). Little-endian variable-length numbers:
//
//   locations: count, then each: path length, path bytes, flags (1 may be a link, 2 complete),
//              last used, root (a record's number)
//   records:   count, then each: volume, inode, parent + 1 (0: none), entry in the parent, state,
//              entry count, then each entry: name length, flags, length and time where its flags
//              say (zigzag), name bytes
//
// Records are numbered in file order; only the free ones are left out. A memory of a million
// entries in folders of 20 takes about 25 bytes an entry beside the names.
inline constexpr char kWalkMemoryMagic[] = "SRVNMEM"; // with its NUL, 8 bytes
inline constexpr uint32_t kWalkMemoryVersion = 1;

// Writes the memory to a device open for writing; false when the device refused bytes.
bool writeWalkMemory(const WalkMemory& memory, QIODevice& out);

// Reads size bytes from the device into a memory of that bound. Nothing when the bytes are not
// exactly a memory that keeps every rule the recording keeps (a name that is no name, a folder
// led to twice, a loop, a folder that nothing leads to, a location that is no absolute path, too
// many entries for the bound...): such bytes are never half taken in.
std::optional<WalkMemory> readWalkMemory(QIODevice& in, int64_t size, MemoryBound bound = {});

} // namespace search
