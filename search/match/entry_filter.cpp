#include "search/match/entry_filter.h"

#include "platform/files/file_attributes.h"
#include "search/match/extension.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <type_traits>

namespace search {
namespace {

constexpr qsizetype kAsciiNameMost = 255; // NAME_MAX: longer names take the general way

} // namespace

EntryFilter::EntryFilter(const MatchCriteria& criteria)
    : category_(criteria.category ? criteria.category : categoryAt(0)), wholeWord_(criteria.wholeWord),
      caseSensitive_(criteria.caseSensitive), includeHidden_(criteria.includeHidden),
      hasExtFilter_(!criteria.ExtPattern.isEmpty())
{
    const CodePoints pattern = toCodePoints(criteria.NamePattern);
    pattern_ = caseSensitive_ ? pattern : upperCased(pattern);
    if (wholeWord_)
        wholeWordPattern_ = WildcardPattern::compile(pattern_);
    if (hasExtFilter_) {
        const CodePoints ext = toCodePoints(criteria.ExtPattern);
        extPattern_ = WildcardPattern::compile(caseSensitive_ ? ext : upperCased(ext));
    }
    if (criteria.pinyin && wholeWord_ && wholeWordPattern_)
        pinyinWholeWord_ = PinyinMatcher::wholeName(*wholeWordPattern_);
    if (criteria.pinyin && !wholeWord_)
        pinyinContains_ = PinyinMatcher::contains(pattern_);
    if (std::all_of(pattern_.begin(), pattern_.end(), [](char32_t c) { return c < 0x80; }))
        asciiPattern_.emplace(pattern_.begin(), pattern_.end());
    needsName_ = category_->needsExtension() || wholeWord_ || !pattern_.empty() || hasExtFilter_;
}

bool EntryFilter::accepts(QByteArrayView name, bool isFolder, std::optional<uint32_t> attributes)
{
    // The cheap tests first: the category's folder rule and the hidden test need no name.
    if (!category_->admitsKind(isFolder))
        return false;
    if (!includeHidden_ && (!attributes || (*attributes & (platform::Hidden | platform::System))))
        return false;
    if (!needsName_)
        return true;
    // An ASCII name, most names, upper-cases to ASCII by the same rule as decodeFileName's, and
    // is judged as it stands, without decoding it.
    if (name.size() <= kAsciiNameMost) {
        std::array<char, kAsciiNameMost> text;
        const char fold = caseSensitive_ ? 0 : 'a' - 'A';
        unsigned char bits = 0;
        for (qsizetype i = 0; i < name.size(); ++i) { // one pass: no branch but the loop's
            const char c = name[i];
            bits |= static_cast<unsigned char>(c);
            text[size_t(i)] = char(c - (c >= 'a' && c <= 'z' ? fold : 0));
        }
        if (bits < 0x80)
            return acceptsName(std::string_view(text.data(), size_t(name.size())));
    }
    decodeFileName(name, !caseSensitive_, name_);
    return acceptsName(CodePointView(name_));
}

// The name's tests in order, on its code points or on an ASCII name's bytes (each its own
// character, so they answer as the code points would), upper-cased unless the search is
// case-sensitive. The pinyin routes need a Han character, which no ASCII name has.
template <class Char>
bool EntryFilter::acceptsName(std::basic_string_view<Char> text)
{
    constexpr bool codePoints = std::is_same_v<Char, char32_t>;
    if (category_->needsExtension()) {
        std::basic_string_view<Char> extension = GetExtension(text);
        if (caseSensitive_) {
            if constexpr (codePoints) {
                upperExtension_.assign(extension);
                upperCaseInPlace(upperExtension_);
                extension = upperExtension_;
            } else {
                upperAsciiExtension_.assign(extension);
                for (char& c : upperAsciiExtension_)
                    c = char(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
                extension = upperAsciiExtension_;
            }
        }
        if (!category_->admitsExtension(extension))
            return false;
    }
    // Whole word: the name matches the pattern, with or without case as asked; the contains and
    // extension tests do not apply on top of it. A malformed pattern finds nothing.
    if (wholeWord_) {
        if (!wholeWordPattern_)
            return false;
        if constexpr (codePoints)
            return wholeWordPattern_->matches(text) || (pinyinWholeWord_ && matchesByReadings(*pinyinWholeWord_, text));
        else
            return wholeWordPattern_->matches(text);
    }
    bool contains = false;
    if constexpr (codePoints)
        contains = text.find(pattern_) != text.npos || (pinyinContains_ && matchesByReadings(*pinyinContains_, text));
    else
        contains = asciiPattern_ && text.find(*asciiPattern_) != text.npos;
    if (contains)
        return true;
    // No extension filter, no extension test: otherwise every name ending in "." would match.
    // A malformed extension pattern counts as a match.
    return hasExtFilter_ && (!extPattern_ || extPattern_->matches(GetExtension(text)));
}

bool EntryFilter::matchesByReadings(PinyinMatcher& matcher, CodePointView text)
{
    // One pass finds the Han characters; a name without any was already judged.
    readings_.resize(text.size());
    bool anyReading = false;
    for (size_t i = 0; i < text.size(); ++i) {
        readings_[i] = readingSetOf(text[i]);
        anyReading |= readings_[i] != 0;
    }
    return anyReading && matcher.matches(text, readings_);
}

} // namespace search
