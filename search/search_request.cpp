#include "search/search_request.h"

#include "search/match/extension.h"
#include "search/match/wildcard_match.h"

namespace search {

QString extensionPatternOf(const QString& namePattern)
{
    const CodePoints pattern = toCodePoints(namePattern);
    const CodePointView firstTwo = CodePointView(pattern).substr(0, 2);
    return WildcardMatch(firstTwo, U"*.").value_or(false) ? GetExtension(namePattern) : QString();
}

SearchRequest makeSearchRequest(const QString& nameText, int categoryIndex, bool wholeWord, bool caseSensitive,
                                bool includeHidden, bool pinyin)
{
    SearchRequest r;
    r.NamePattern = trimBlanks(nameText);
    if (r.NamePattern == u"*")
        r.NamePattern.clear();
    r.ExtPattern = extensionPatternOf(r.NamePattern);
    r.category = categoryAt(categoryIndex);
    r.wholeWord = wholeWord;
    r.caseSensitive = caseSensitive;
    r.includeHidden = includeHidden;
    r.pinyin = pinyin;
    return r;
}

} // namespace search
