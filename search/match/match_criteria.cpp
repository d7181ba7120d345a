#include "search/match/match_criteria.h"

#include "search/match/extension.h"
#include "search/match/wildcard_match.h"

namespace search {

QString extensionPatternOf(const QString& namePattern)
{
    const CodePoints pattern = toCodePoints(namePattern);
    const CodePointView firstTwo = CodePointView(pattern).substr(0, 2);
    return WildcardMatch(firstTwo, U"*.").value_or(false) ? GetExtension(namePattern) : QString();
}

MatchCriteria makeMatchCriteria(const QString& nameText, int categoryIndex, bool wholeWord, bool caseSensitive,
                                bool includeHidden, bool pinyin)
{
    MatchCriteria c;
    c.NamePattern = trimBlanks(nameText);
    if (c.NamePattern == u"*")
        c.NamePattern.clear();
    c.ExtPattern = extensionPatternOf(c.NamePattern);
    c.category = categoryAt(categoryIndex);
    c.wholeWord = wholeWord;
    c.caseSensitive = caseSensitive;
    c.includeHidden = includeHidden;
    c.pinyin = pinyin;
    return c;
}

bool wildcardsTakenLiterally(const MatchCriteria& criteria)
{
    // With an extension filter ("*.txt", "?.t*t") the extension is matched as a pattern, and a
    // search that found nothing found no entry of that extension: the box would not help.
    if (criteria.wholeWord || !criteria.ExtPattern.isEmpty())
        return false;
    return criteria.NamePattern.contains(u'*') || criteria.NamePattern.contains(u'?');
}

} // namespace search
