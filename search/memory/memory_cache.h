#pragma once

#include "platform/session/cache_file.h"
#include "search/memory/walk_memory.h"

#include <optional>

namespace search {

// The memory kept across starts, in the user's cache folder (platform::cacheFolder()) unless a
// test names another. Read it on a thread of its own at start and move the memory to the
// window's thread; write it at close; remove it where the user switched the memory off.
platform::CacheFile walkMemoryFile(const QString& folder = platform::cacheFolder(), MemoryBound bound = {});

// Whether the whole memory was written and took the old file's place.
bool saveWalkMemory(const WalkMemory& memory, const platform::CacheFile& file);
// The memory written last; nothing where there is none, or the file was refused (see
// CacheFile::open), is not whole or breaks a rule of the memory. Such a file is replaced at the
// next save.
std::optional<WalkMemory> loadWalkMemory(const platform::CacheFile& file, MemoryBound bound = {});

} // namespace search
