#include "search/match/pinyin_match.h"

namespace search {
namespace {

char pinyinLetter(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return char(c);
    if (c >= U'A' && c <= U'Z')
        return char(c - U'A' + U'a');
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
    return std::move(*this);
}

bool PinyinMatcher::stepMatches(size_t step, char32_t c) const
{
    return steps_[step].wildcard ? wildcard_->itemMatches(step, c) : c == steps_[step].literal;
}

void PinyinMatcher::closeOverStars(std::vector<uint8_t>& reached) const
{
    // A star may match the empty run: reaching it reaches the step after it too.
    for (size_t k = 0; k < steps_.size(); ++k)
        if (reached[k] && steps_[k].star)
            reached[k + 1] = 1;
}

bool PinyinMatcher::matches(CodePointView name, std::span<const ReadingSet> readings)
{
    const size_t end = steps_.size();
    reached_.assign(end + 1, 0);
    next_.resize(end + 1);
    reached_[0] = 1;
    closeOverStars(reached_);
    bool any = false;
    const auto reach = [&](size_t step) {
        next_[step] = 1;
        any = true;
    };
    for (size_t i = 0; i < name.size(); ++i) {
        if (anywhere_ && reached_[end])
            return true;
        std::fill(next_.begin(), next_.end(), 0);
        any = false;
        if (anywhere_)
            reach(0); // the match may begin at the next character
        for (size_t k = 0; k < end; ++k) {
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
        if (!any)
            return false;
        std::swap(reached_, next_);
        closeOverStars(reached_);
    }
    return reached_[end];
}

} // namespace search
