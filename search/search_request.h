#pragma once

#include "search/match/file_type_categories.h"

#include <QString>

namespace search {

// What the user asked for, read once when a search starts: the controls are locked while it
// runs, so this is what they say at every entry.
struct SearchRequest {
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

SearchRequest makeSearchRequest(const QString& nameText, int categoryIndex, bool wholeWord, bool caseSensitive,
                                bool includeHidden, bool pinyin = false);

} // namespace search
