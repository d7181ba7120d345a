#include "search/memory/memory_cache.h"

#include "search/memory/memory_file.h"

namespace search {

platform::CacheFile walkMemoryFile(const QString& folder, MemoryBound bound)
{
    // The file is smaller than the memory it holds, so the memory's bound bounds it too.
    return platform::CacheFile(folder, QStringLiteral("walk-memory"),
                               {QByteArray(kWalkMemoryMagic, sizeof kWalkMemoryMagic), kWalkMemoryVersion,
                                int64_t(bound.bytes)});
}

bool saveWalkMemory(const WalkMemory& memory, const platform::CacheFile& file)
{
    return file.write([&](QIODevice& out) { return writeWalkMemory(memory, out); });
}

std::optional<WalkMemory> loadWalkMemory(const platform::CacheFile& file, MemoryBound bound)
{
    const platform::CacheFile::Opened opened = file.open();
    if (!opened.reading)
        return std::nullopt;
    std::optional<WalkMemory> memory = readWalkMemory(*opened.reading, opened.reading->payloadSize(), bound);
    if (!memory || !opened.reading->intact())
        return std::nullopt;
    return memory;
}

} // namespace search
