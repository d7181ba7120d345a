#pragma once

#include <cstddef>
#include <cstdint>

namespace search {

// The pinyin readings of Han characters, traditional ones included, compiled in from Unihan:
// toneless, lower case, "ü" written "v" and "u". Read-only data that every thread may share.
using ReadingSet = uint16_t; // 0: the character has no reading

ReadingSet readingSetOf(char32_t c);

// The longest run at the start of `letters` that one reading of the set begins with: how many
// letters of a pattern the character can stand for. `letters` holds lower-case letters and ends
// at its first other character (a 0 at the latest).
size_t longestReadingPrefix(ReadingSet set, const char* letters);
// The letters of the set's longest reading: the most that the character can stand for.
size_t longestReading(ReadingSet set);

} // namespace search
