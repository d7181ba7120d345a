#include "search/match/pinyin_readings.h"

#include "search/match/pinyin_table.h"

#include <algorithm>

namespace search {

using namespace pinyin_table;

ReadingSet readingSetOf(char32_t c)
{
    // Most characters of most names lie below the first Han character: one comparison.
    if (c < kFirstCharacter || c / 256 >= kPageCount)
        return 0;
    return kBlocks[size_t(kPageBlock[c / 256]) * 256 + c % 256];
}

size_t longestReadingPrefix(ReadingSet set, const char* letters)
{
    size_t longest = 0;
    for (uint32_t m = kSetStart[set]; m < kSetStart[set + 1]; ++m) {
        const uint16_t syllable = kSetMembers[m];
        const char* reading = kSyllableLetters + kSyllableStart[syllable];
        const size_t length = kSyllableStart[syllable + 1] - kSyllableStart[syllable];
        size_t same = 0;
        while (same < length && reading[same] == letters[same])
            ++same;
        if (same > longest)
            longest = same;
    }
    return longest;
}

size_t longestReading(ReadingSet set)
{
    size_t longest = 0;
    for (uint32_t m = kSetStart[set]; m < kSetStart[set + 1]; ++m) {
        const uint16_t syllable = kSetMembers[m];
        longest = std::max<size_t>(longest, kSyllableStart[syllable + 1] - kSyllableStart[syllable]);
    }
    return longest;
}

} // namespace search
