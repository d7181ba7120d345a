#pragma once

// The readings table that search/make_pinyin_table.py generates at build time from Unihan;
// read it through search/pinyin_readings.h.

#include <cstdint>

namespace search::pinyin_table {

extern const char32_t kFirstCharacter; // the lowest character that has a reading
extern const uint32_t kPageCount;      // pages of 256 characters, from U+0000
extern const uint32_t kSyllableCount;
extern const uint32_t kSetCount;       // set 0 is the empty set
extern const char kSyllableLetters[];  // every syllable, one after the other
extern const uint16_t kSyllableStart[]; // syllable i is [kSyllableStart[i], kSyllableStart[i + 1])
extern const uint32_t kSetStart[];      // set i is kSetMembers[kSetStart[i], kSetStart[i + 1])
extern const uint16_t kSetMembers[];    // syllable numbers
extern const uint16_t kPageBlock[];     // page → block; block 0 is all zeros
extern const uint16_t kBlocks[];        // block * 256 + character % 256 → set

} // namespace search::pinyin_table
