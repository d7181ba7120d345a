#include "search/match/wildcard_match.h"

#include <type_traits>

namespace search {

std::optional<WildcardPattern> WildcardPattern::compile(CodePointView pattern)
{
    WildcardPattern compiled;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char32_t c = pattern[i];
        Item item{Kind::Literal};
        switch (c) {
        case U'?':
            item.kind = Kind::AnyOne;
            break;
        case U'#':
            item.kind = Kind::Digit;
            break;
        case U'*':
            // A run of stars matches what one star does.
            if (!compiled.items_.empty() && compiled.items_.back().kind == Kind::Star)
                continue;
            item.kind = Kind::Star;
            break;
        case U'[': {
            size_t j = i + 1;
            item.kind = Kind::List;
            if (j < pattern.size() && pattern[j] == U'!') {
                item.negated = true;
                ++j;
            }
            item.firstRange = uint32_t(compiled.ranges_.size());
            // Items up to the first "]": one character, or a range when "-" and a character
            // other than "]" follow it.
            while (j < pattern.size() && pattern[j] != U']') {
                const char32_t first = pattern[j];
                if (j + 2 < pattern.size() && pattern[j + 1] == U'-' && pattern[j + 2] != U']') {
                    const char32_t last = pattern[j + 2];
                    if (last < first)
                        return std::nullopt;
                    compiled.ranges_.push_back({first, last});
                    j += 3;
                } else {
                    compiled.ranges_.push_back({first, first});
                    ++j;
                }
            }
            if (j >= pattern.size())
                return std::nullopt; // never closed
            item.rangeCount = uint32_t(compiled.ranges_.size()) - item.firstRange;
            i = j;
            // "[]" stands for the empty text: no item at all. "[!]" is any one character.
            if (item.rangeCount == 0 && !item.negated)
                continue;
            break;
        }
        default:
            item.literal = c;
            break;
        }
        compiled.items_.push_back(item);
    }
    return compiled;
}

bool WildcardPattern::itemMatches(const Item& item, char32_t c) const
{
    switch (item.kind) {
    case Kind::Literal:
        return c == item.literal;
    case Kind::AnyOne:
        return true;
    case Kind::Digit:
        return c >= U'0' && c <= U'9';
    case Kind::List: {
        bool inList = false;
        for (uint32_t r = item.firstRange; r < item.firstRange + item.rangeCount; ++r)
            if (c >= ranges_[r].first && c <= ranges_[r].last) {
                inList = true;
                break;
            }
        return inList != item.negated;
    }
    case Kind::Star:
        break;
    }
    return false;
}

template <class Char>
bool WildcardPattern::matchesText(std::basic_string_view<Char> text) const
{
    // Every item but "*" takes exactly one character, so going back to the last star is enough:
    // at most text length times pattern length steps.
    size_t t = 0, p = 0;
    size_t starItem = SIZE_MAX, starText = 0;
    while (t < text.size()) {
        if (p < items_.size() && items_[p].kind == Kind::Star) {
            starItem = p++;
            starText = t;
        } else if (p < items_.size() && itemMatches(items_[p], char32_t(std::make_unsigned_t<Char>(text[t])))) {
            ++p;
            ++t;
        } else if (starItem != SIZE_MAX) {
            p = starItem + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < items_.size() && items_[p].kind == Kind::Star)
        ++p;
    return p == items_.size();
}

bool WildcardPattern::matches(CodePointView text) const
{
    return matchesText(text);
}

bool WildcardPattern::matches(std::string_view asciiText) const
{
    return matchesText(asciiText);
}

std::optional<bool> WildcardMatch(CodePointView text, CodePointView pattern)
{
    const auto compiled = WildcardPattern::compile(pattern);
    if (!compiled)
        return std::nullopt;
    return compiled->matches(text);
}

std::optional<bool> WildcardMatch(const QString& text, const QString& pattern)
{
    return WildcardMatch(toCodePoints(text), toCodePoints(pattern));
}

} // namespace search
