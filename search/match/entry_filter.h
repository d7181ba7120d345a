#pragma once

#include "search/match/pinyin_match.h"
#include "search/match/match_criteria.h"
#include "search/match/wildcard_match.h"

#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// The tests an entry meets before it becomes a row, compiled once from the criteria: category,
// hidden, whole word, then name (by its pinyin too, when asked) or extension. A copy judges on
// its own, so each thread that reads folders can hold one.
class EntryFilter {
public:
    explicit EntryFilter(const MatchCriteria& criteria);

    // attributes: nothing when they could not be read (the entry then counts as a folder).
    bool accepts(QByteArrayView name, bool isFolder, std::optional<uint32_t> attributes);

private:
    template <class Char>
    bool acceptsName(std::basic_string_view<Char> text);
    // The pinyin route, for a name the plain test did not accept.
    bool matchesByReadings(PinyinMatcher& matcher, CodePointView text);

    const FileTypeCategory* category_;
    bool wholeWord_, caseSensitive_, includeHidden_;
    bool needsName_;
    bool hasExtFilter_;
    CodePoints pattern_; // upper case unless the search is case-sensitive
    // The pattern's bytes when it is ASCII; one that is not is in no ASCII name.
    std::optional<std::string> asciiPattern_;
    std::optional<WildcardPattern> wholeWordPattern_; // nothing when malformed
    std::optional<WildcardPattern> extPattern_;       // nothing when malformed
    CodePoints name_;    // reused from entry to entry
    CodePoints upperExtension_;
    std::string upperAsciiExtension_;
    // Only with 拼音匹配 ticked and a letter in the pattern.
    std::optional<PinyinMatcher> pinyinContains_, pinyinWholeWord_;
    std::vector<ReadingSet> readings_; // reused from entry to entry
};

} // namespace search
