#pragma once

#include "search/match/text_rules.h"

#include <optional>
#include <string_view>
#include <vector>

namespace search {

// A whole-text pattern: "?" one character, "*" any run, "#" one digit, "[...]" one character of
// a list ("[!...]" one not in it, "a-z" ranges), "[]" the empty text, anything else itself.
// Characters compare by code; callers upper-case both sides to ignore case.
class WildcardPattern {
public:
    // Nothing when the pattern is malformed: a "[" never closed, or a descending range.
    static std::optional<WildcardPattern> compile(CodePointView pattern);
    bool matches(CodePointView text) const;
    // An ASCII text as it stands, each byte its own character: the same answer as its code points
    // get, without decoding them.
    bool matches(std::string_view asciiText) const;

    // The compiled items one at a time, for a matcher that lets one character of the text stand
    // for several items (a Han character for the letters of its reading).
    size_t itemCount() const { return items_.size(); }
    bool isStar(size_t item) const { return items_[item].kind == Kind::Star; }
    // The character a plain item stands for; nothing for a wildcard.
    std::optional<char32_t> literalAt(size_t item) const
    {
        return items_[item].kind == Kind::Literal ? std::optional(items_[item].literal) : std::nullopt;
    }
    bool itemMatches(size_t item, char32_t c) const { return itemMatches(items_[item], c); }

private:
    struct Range {
        char32_t first, last;
    };
    enum class Kind { Literal, AnyOne, Digit, List, Star };
    struct Item {
        Kind kind;
        char32_t literal = 0;
        bool negated = false;
        uint32_t firstRange = 0, rangeCount = 0; // into ranges_
    };
    bool itemMatches(const Item& item, char32_t c) const;
    template <class Char>
    bool matchesText(std::basic_string_view<Char> text) const;

    std::vector<Item> items_;
    std::vector<Range> ranges_;
};

// Whether the pattern matches the whole text; nothing when the pattern is malformed.
std::optional<bool> WildcardMatch(CodePointView text, CodePointView pattern);
std::optional<bool> WildcardMatch(const QString& text, const QString& pattern);

} // namespace search
