#pragma once

#include "search/match/pinyin_readings.h"
#include "search/match/text_rules.h"
#include "search/match/wildcard_match.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace search {

// Matches a name whose Han characters may each stand for one of their readings, whole or cut
// short ("b", "ba", "ban" for 办), typed in the pattern's letters of either case ("ü" as "v"); a
// Han character still matches itself too. It walks the name once with the set of pattern
// positions reached, so a name of polyphones costs its length times the pattern's, never the
// product of its readings; and a position that needs more characters than the rest of the name
// can stand for is never looked at, so a pattern longer than any name costs nothing beyond one
// pass over the name. Holds its own working buffers: one per thread.
class PinyinMatcher {
public:
    // The contains test: every character of the pattern stands for itself, found anywhere in the
    // name. Nothing for a pattern without a letter, where readings would change nothing.
    static std::optional<PinyinMatcher> contains(CodePointView pattern);
    // The whole-word test: the wildcard pattern over the whole name, "?" one character of it.
    // Nothing without a letter either.
    static std::optional<PinyinMatcher> wholeName(const WildcardPattern& pattern);

    // readings: the reading set of each character of the name.
    bool matches(CodePointView name, std::span<const ReadingSet> readings);

private:
    struct Step {
        char32_t literal = 0;
        bool star = false;
        bool wildcard = false; // "?", "#" or a list: the pattern decides
    };
    bool stepMatches(size_t step, char32_t c) const;
    // Reaching a star reaches the step after it too; returns the highest step reached.
    size_t closeOverStars(std::vector<uint8_t>& reached, size_t from, size_t high) const;
    std::optional<PinyinMatcher> finish();

    std::vector<Step> steps_;
    // The lower-case letter each step stands for, 0 for the others, and a 0 after the last.
    std::string letters_;
    std::optional<WildcardPattern> wildcard_;
    bool anywhere_ = false;
    std::vector<size_t> need_; // per pattern position: the steps after it that take a character
    std::vector<uint8_t> reached_, next_; // per pattern position, zero between names
    std::vector<size_t> capacity_;        // per name position: the most steps the rest can take
};

} // namespace search
