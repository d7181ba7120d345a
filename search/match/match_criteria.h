#pragma once

#include "search/match/file_type_categories.h"

#include <QString>

namespace search {

// The tests a search puts every entry to, made once from the request when the search starts:
// the controls are locked while it runs, so these hold for every entry.
struct MatchCriteria {
    QString NamePattern;  // the name box, trimmed; "*" alone becomes the empty text
    QString ExtPattern;   // the extension filter derived from it, or the empty text
    const FileTypeCategory* category = nullptr; // the chosen entry of the table
    bool wholeWord = false;
    bool caseSensitive = false;
    bool includeHidden = false;
    bool pinyin = false; // Han characters match by their readings too
};

// The extension filter of a name pattern: only a pattern whose second character is a dot
// ("*.txt", "a.doc"), or a lone dot, has one.
QString extensionPatternOf(const QString& namePattern);

MatchCriteria makeMatchCriteria(const QString& nameText, int categoryIndex, bool wholeWord, bool caseSensitive,
                                bool includeHidden, bool pinyin = false);

// Whether the name holds "*" or "?" that only "全字匹配" would read as wildcards: without it the
// name test looks for the characters themselves, and only an extension filter reads its
// extension as a pattern.
bool wildcardsTakenLiterally(const MatchCriteria& criteria);

} // namespace search
