// The walk's memory without a disk: a tree shaped like bench/make-tree's (folders of about 20
// entries, five levels, filled breadth-first, a rare name every 50,000 entries) recorded straight
// into a memory as the walk records it, then answered, saved to a cache file and read back.
// Prints key=value lines: medians of the runs, then each run's times.
//
// usage: sorvane-memory-bench [--entries N] [--runs R] [--cache DIR] [--only rare|all]
// (--only: that answer alone, R times on one thread, for a profiler)
#include "search/memory/memory_answer.h"
#include "search/memory/memory_cache.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/resource.h>
#include <deque>
#include <fstream>
#include <map>
#include <string>
#include <tuple>

namespace {

using Clock = std::chrono::steady_clock;

uint64_t mix(uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const uint64_t v : {a, b, c}) {
        h = (h ^ v) + 0x9E3779B97F4A7C15ull;
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
        h ^= h >> 31;
    }
    return h;
}

struct GeneratedEntry {
    QByteArray name;
    bool folder = false, hidden = false;
    int64_t length = 0, modified = 0;
};

// The folders in breadth-first order; a folder's sub-folders come in the order its entries name them.
struct Tree {
    std::vector<std::vector<GeneratedEntry>> folders;
    size_t entries = 0, nameBytes = 0;
};

Tree generate(size_t n)
{
    static const char* const words[] = {"report", "photo", "img", "data", "notes", "readme", "backup", "invoice",
                                        "draft", "config", "报告", "照片", "会议记录", "资料"};
    static const char* const extensions[] = {"txt", "TXT", "jpg", "png", "gif", "cpp", "h", "pdf", "doc", "zip",
                                             "mp3", "log", "json", "", "tar.gz"};
    // Sub-folders per folder that spread n entries over five levels.
    double k = 1;
    while ((1 + k + k * k + k * k * k + k * k * k * k) * 20 < 1.15 * double(n))
        k += 0.01;
    Tree tree;
    std::deque<int> depths{0};
    double fractional = 0;
    for (uint64_t serial = 0; !depths.empty() && tree.entries < n; ++serial) {
        const int depth = depths.front();
        depths.pop_front();
        const int count = 17 + int(mix(serial, 0, 3) % 7);
        int subfolders = 0;
        if (depth < 4) {
            fractional += k;
            subfolders = std::max(1, std::min(int(fractional), count - 2));
            fractional -= int(fractional);
        }
        auto& folder = tree.folders.emplace_back();
        // Sub-folders spread over the listing, not all first; the last folder takes what is left.
        const int stride = subfolders ? count / subfolders : count + 1;
        for (int j = 0; (j < count || depths.empty()) && tree.entries < n; ++j) {
            const uint64_t h = mix(serial, uint64_t(j), 1);
            GeneratedEntry& e = folder.emplace_back();
            e.folder = j % stride == 0 && j / stride < subfolders;
            const std::string word = tree.entries % 50'000 == 137 ? "old quokka" : words[h % std::size(words)];
            e.name = QByteArray::fromStdString(word) + (h >> 20 & 1 ? "_" : " ") + QByteArray::number(j);
            if (!e.folder && *extensions[(h >> 8) % std::size(extensions)])
                e.name += QByteArray(".") + extensions[(h >> 8) % std::size(extensions)];
            e.hidden = (h >> 40) % 29 == 0;
            if (e.hidden)
                e.name.prepend('.');
            e.length = (h >> 24) % 25 ? 0 : int64_t((h >> 32) % 16384);
            e.modified = 1'700'000'000 + int64_t(h % 40'000'000);
            if (e.folder)
                depths.push_back(depth + 1);
            ++tree.entries;
            tree.nameBytes += size_t(e.name.size());
        }
    }
    return tree;
}

// Recorded as the walk records it: each folder at its turn, from the entry its parent gave it.
void record(search::WalkMemory& memory, const Tree& tree)
{
    const uint64_t location = memory.beginLocation("/bench", false);
    std::deque<std::pair<search::MemoryFolder, uint32_t>> queued;
    for (size_t f = 0; f < tree.folders.size(); ++f) {
        search::MemoryFolder folder;
        if (f == 0) {
            folder = memory.beginRoot(location, {1, 1});
        } else {
            const auto [parent, entry] = queued.front();
            queued.pop_front();
            folder = memory.beginFolder(parent, entry, {1, f + 1});
        }
        for (const GeneratedEntry& e : tree.folders[f]) {
            const auto traits = search::EntryTraits::fromAttributes(
                (e.folder ? uint32_t(platform::Directory) : 0u) | (e.hidden ? uint32_t(platform::Hidden) : 0u));
            const uint32_t index = memory.addEntry(e.name, traits, e.length, e.modified);
            if (e.folder)
                queued.emplace_back(folder, index);
        }
        memory.endFolder(search::FolderState::Listed);
    }
    memory.endLocation(location, true);
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The process's processor time, every thread's: on a machine shared with other work, the wall
// time waits for a core, this does not.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

long statusKib(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key) + 1));
    return -1;
}

search::MatchCriteria request(const char* pattern, bool hidden)
{
    search::MatchCriteria r;
    r.NamePattern = QString::fromUtf8(pattern);
    r.includeHidden = hidden;
    return r;
}

// Hits of a whole answer, or of its first slice of 2,000.
size_t answer(const search::WalkMemory& memory, const search::MatchCriteria& r, bool firstSlice, unsigned threads)
{
    const std::optional<search::RememberedFolder> found = memory.find("/bench");
    search::MemoryAnswer a(memory, found->folder, "/bench", r, {.threads = threads});
    static std::vector<search::MemoryHit> hits; // the caller's, kept from answer to answer
    hits.clear();
    a.next(hits, firstSlice ? 2000 : SIZE_MAX);
    return hits.size();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    size_t entries = 1'000'000;
    int runs = 5;
    QString cache;
    std::string only; // "rare" or "all": only that answer, for a profiler
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--entries")
            entries = std::stoul(argv[i + 1]);
        else if (option == "--runs")
            runs = std::stoi(argv[i + 1]);
        else if (option == "--cache")
            cache = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--only")
            only = argv[i + 1];
    }
    QTemporaryDir temporary;
    if (cache.isEmpty())
        cache = temporary.path();

    const Tree tree = generate(entries);
    std::printf("entries=%zu folders=%zu name_bytes=%zu\n", tree.entries, tree.folders.size(), tree.nameBytes);

    std::map<std::string, std::vector<double>> times;
    std::map<std::string, size_t> hits;
    // A first walk records into fresh memory; a walk of a remembered location lists each folder
    // again in its record's place. Each first recording is kept till the end, so that none
    // starts from pages another gave back.
    std::vector<search::WalkMemory> firsts(static_cast<size_t>(runs));
    const long rssBefore = statusKib("VmRSS:");
    long rssAfter = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        double cpu = cpuMs();
        const long faults = minorFaults();
        record(firsts[size_t(run)], tree);
        times["record_first_ms"].push_back(msSince(start));
        times["record_first_cpu_ms"].push_back(cpuMs() - cpu);
        times["record_first_page_faults"].push_back(double(minorFaults() - faults));
        if (run == 0)
            rssAfter = statusKib("VmRSS:");
        start = Clock::now();
        cpu = cpuMs();
        record(firsts[0], tree);
        times["record_again_ms"].push_back(msSince(start));
        times["record_again_cpu_ms"].push_back(cpuMs() - cpu);
    }
    firsts.resize(1);
    const search::WalkMemory& memory = firsts[0];
    std::printf("memory_bytes=%zu held_bytes=%zu bytes_per_entry_beside_names=%.1f rss_growth_kib=%ld\n",
                memory.bytes(), memory.heldBytes(), double(memory.bytes() - tree.nameBytes) / double(tree.entries),
                rssAfter - rssBefore);

    if (!only.empty()) {
        for (int run = 0; run < runs; ++run)
            answer(memory, only == "rare" ? request("quokka", false) : request("", true), false, 1);
        return 0;
    }
    const platform::CacheFile file = search::walkMemoryFile(cache);
    for (int run = 0; run < runs; ++run) {
        for (const auto& [name, pattern, hidden] : {std::tuple{"rare", "quokka", false}, {"all", "", true}}) {
            for (const auto& [suffix, first, threads] :
                 {std::tuple{"", false, 0u}, {"_first_slice", true, 0u}, {"_one_thread", false, 1u}}) {
                const auto start = Clock::now();
                const double cpu = cpuMs();
                const size_t found = answer(memory, request(pattern, hidden), first, threads);
                times[std::string("answer_") + name + suffix + "_ms"].push_back(msSince(start));
                times[std::string("answer_") + name + suffix + "_cpu_ms"].push_back(cpuMs() - cpu);
                hits[std::string("hits_") + name + suffix] = found;
            }
        }
        auto start = Clock::now();
        double cpu = cpuMs();
        if (!search::saveWalkMemory(memory, file))
            return std::fprintf(stderr, "sorvane-memory-bench: the cache file could not be written\n"), 1;
        times["save_ms"].push_back(msSince(start));
        times["save_cpu_ms"].push_back(cpuMs() - cpu);
        start = Clock::now();
        cpu = cpuMs();
        const std::optional<search::WalkMemory> loaded = search::loadWalkMemory(file);
        times["load_ms"].push_back(msSince(start));
        times["load_cpu_ms"].push_back(cpuMs() - cpu);
        if (!loaded || loaded->entries() != memory.entries())
            return std::fprintf(stderr, "sorvane-memory-bench: the cache file did not read back\n"), 1;
    }
    std::printf("file_bytes=%lld\n", QFileInfo(file.path()).size());
    for (const auto& [key, count] : hits)
        std::printf("%s=%zu\n", key.c_str(), count);
    for (auto& [key, values] : times) {
        std::string all;
        for (const double v : values)
            all += (all.empty() ? "" : " ") + std::to_string(v).substr(0, std::to_string(v).find('.') + 2);
        std::sort(values.begin(), values.end());
        std::printf("%s=%.1f runs=%s\n", key.c_str(), values[values.size() / 2], all.c_str());
    }
    std::printf("record_first_cpu_ns_per_entry=%.1f\n",
                times["record_first_cpu_ms"][size_t(runs) / 2] * 1e6 / double(tree.entries));
    return 0;
}
