#include "search/match/pinyin_match.h"

#include <algorithm>

namespace search {
namespace {

char pinyinLetter(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return char(c);
    if (c >= U'A' && c <= U'Z')
        return char(c - U'A' + U'a');
    if (c == U'ü' || c == U'Ü') // the readings write it "v" (and "u")
        return 'v';
    return 0;
}

} // namespace

std::optional<PinyinMatcher> PinyinMatcher::contains(CodePointView pattern)
{
    PinyinMatcher m;
    m.anywhere_ = true;
    for (const char32_t c : pattern) {
        m.steps_.push_back({.literal = c});
        m.letters_ += pinyinLetter(c);
    }
    return m.finish();
}

std::optional<PinyinMatcher> PinyinMatcher::wholeName(const WildcardPattern& pattern)
{
    PinyinMatcher m;
    m.wildcard_ = pattern;
    for (size_t i = 0; i < pattern.itemCount(); ++i) {
        const std::optional<char32_t> literal = pattern.literalAt(i);
        m.steps_.push_back({.literal = literal.value_or(0), .star = pattern.isStar(i), .wildcard = !literal && !pattern.isStar(i)});
        m.letters_ += literal ? pinyinLetter(*literal) : 0;
    }
    return m.finish();
}

// Ends the letters with a 0; nothing when there is no letter at all.
std::optional<PinyinMatcher> PinyinMatcher::finish()
{
    if (letters_.find_first_not_of('\0') == std::string::npos)
        return std::nullopt;
    letters_ += '\0';
    need_.assign(steps_.size() + 1, 0);
    for (size_t k = steps_.size(); k-- > 0;)
        need_[k] = need_[k + 1] + (steps_[k].star ? 0 : 1);
    reached_.assign(steps_.size() + 1, 0);
    next_.assign(steps_.size() + 1, 0);
    return std::move(*this);
}

bool PinyinMatcher::stepMatches(size_t step, char32_t c) const
{
    return steps_[step].wildcard ? wildcard_->itemMatches(step, c) : c == steps_[step].literal;
}

size_t PinyinMatcher::closeOverStars(std::vector<uint8_t>& reached, size_t from, size_t high) const
{
    // A star may match the empty run: reaching it reaches the step after it too.
    for (size_t k = from; k <= high && k < steps_.size(); ++k)
        if (reached[k] && steps_[k].star) {
            reached[k + 1] = 1;
            high = std::max(high, k + 1);
        }
    return high;
}

bool PinyinMatcher::matches(CodePointView name, std::span<const ReadingSet> readings)
{
    const size_t end = steps_.size();
    // Each character takes one step, or a Han character as many letters as its longest reading.
    capacity_.resize(name.size() + 1);
    capacity_[name.size()] = 0;
    for (size_t i = name.size(); i-- > 0;)
        capacity_[i] = capacity_[i + 1] + (readings[i] ? std::max<size_t>(1, longestReading(readings[i])) : 1);
    if (need_[0] > capacity_[0])
        return false;

    // reached_ and next_ are all zero outside [low, high] and [nextLow, nextHigh].
    reached_[0] = 1;
    size_t low = 0, high = closeOverStars(reached_, 0, 0);
    bool matched = false;
    for (size_t i = 0; i < name.size() && !matched; ++i) {
        if (anywhere_ && reached_[end]) {
            matched = true;
            break;
        }
        // Positions that need more than the rest of the name can take are dead.
        size_t live = low;
        while (live < end && need_[live] > capacity_[i])
            ++live;
        size_t nextLow = end + 1, nextHigh = 0;
        const auto reach = [&](size_t step) {
            next_[step] = 1;
            nextLow = std::min(nextLow, step);
            nextHigh = std::max(nextHigh, step);
        };
        if (anywhere_ && live == 0)
            reach(0); // the match may begin at the next character
        for (size_t k = live; k <= high && k < end; ++k) {
            if (!reached_[k])
                continue;
            if (steps_[k].star)
                reach(k);
            else if (stepMatches(k, name[i]))
                reach(k + 1);
            // A Han character stands for the letters of any of its readings, cut short or whole.
            if (readings[i] && letters_[k]) {
                const size_t taken = longestReadingPrefix(readings[i], letters_.data() + k);
                for (size_t n = 1; n <= taken; ++n)
                    reach(k + n);
            }
        }
        std::fill(reached_.begin() + qsizetype(low), reached_.begin() + qsizetype(high) + 1, 0);
        std::swap(reached_, next_);
        if (nextHigh < nextLow) // nothing reached
            return false;
        low = nextLow;
        high = closeOverStars(reached_, nextLow, nextHigh);
    }
    matched = matched || reached_[end];
    std::fill(reached_.begin() + qsizetype(low), reached_.begin() + qsizetype(high) + 1, 0);
    return matched;
}

} // namespace search
