// Fuzzes the reader of the memory's cache file: through its frame as the program reads it, and
// the payload alone, past the checksum that random bytes seldom meet. Whatever the bytes, the
// reader ends without a fault; a memory it accepts answers from every location without one, and
// reads back from its own bytes the same.
#include "platform/session/cache_file.h"
#include "search/memory/memory_answer.h"
#include "search/memory/memory_file.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

// Small enough that a file can reach it, so the bound's refusals are fuzzed too.
const search::MemoryBound kBound{.entries = 4096, .bytes = 1 << 20, .locations = 64};

QByteArray bytesOf(const search::WalkMemory& memory)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!search::writeWalkMemory(memory, out))
        std::abort();
    return out.buffer();
}

void exercise(const search::WalkMemory& memory)
{
    search::MatchCriteria all;
    all.includeHidden = true;
    for (const search::MemoryLocation& location : memory.locations()) {
        const std::optional<search::RememberedFolder> found = memory.find(location.rootPath);
        if (!found)
            continue;
        search::MemoryAnswer answer(memory, found->folder, location.rootPath, all, {.threads = 1});
        std::vector<search::MemoryHit> hits;
        while (answer.next(hits, 64)) {
        }
        if (hits.size() != answer.entries())
            std::abort();
        for (const search::MemoryHit& hit : hits)
            if (!answer.entry(hit))
                std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    auto framed = std::make_unique<QBuffer>();
    framed->setData(bytes);
    framed->open(QIODevice::ReadOnly);
    platform::CacheFileReading reading(std::move(framed),
                                       {search::kWalkMemoryMagic, search::kWalkMemoryVersion, int64_t(size)},
                                       int64_t(size));
    if (reading.recognised()) {
        const std::optional<search::WalkMemory> memory = search::readWalkMemory(reading, reading.payloadSize(), kBound);
        if (memory && reading.intact())
            exercise(*memory);
    }

    QBuffer payload;
    payload.setData(bytes);
    payload.open(QIODevice::ReadOnly);
    const std::optional<search::WalkMemory> memory = search::readWalkMemory(payload, int64_t(size), kBound);
    if (!memory)
        return 0;
    exercise(*memory);
    const QByteArray written = bytesOf(*memory);
    QBuffer again;
    again.setData(written);
    again.open(QIODevice::ReadOnly);
    const std::optional<search::WalkMemory> reread = search::readWalkMemory(again, again.size(), kBound);
    if (!reread || reread->entries() != memory->entries() || bytesOf(*reread) != written)
        std::abort();
    return 0;
}
