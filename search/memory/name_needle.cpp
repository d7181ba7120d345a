#include "search/memory/name_needle.h"

#include "search/match/text_rules.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace search {
namespace {

// The ASCII letters that upper-casing makes of characters outside ASCII (case pairs beyond the
// first plane stay beyond it).
const std::array<bool, 128>& upperCasedFromBeyondAscii()
{
    static const std::array<bool, 128> letters = [] {
        std::array<bool, 128> found{};
        for (char32_t c = 0x80; c <= 0xFFFF; ++c)
            if (const char32_t upper = upperCase(c); upper < 0x80)
                found[upper] = true;
        return found;
    }();
    return letters;
}

// The longest run of a wildcard pattern that matches itself alone.
QString longestPlainRun(const QString& pattern)
{
    QString longest, run;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1); // a list ends at its first "]"
            if (close < 0)
                break; // malformed: nothing is accepted, and the run so far stays a sound needle
            i = close;
        }
        if (c == u'[' || c == u'*' || c == u'?' || c == u'#') {
            run.clear();
            continue;
        }
        run += c;
        if (run.size() > longest.size())
            longest = run;
    }
    return longest;
}

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

} // namespace

NameNeedle::NameNeedle(const MatchCriteria& request)
{
    // Without whole word, the extension test may accept a name that lacks the pattern.
    if (!request.wholeWord && !request.ExtPattern.isEmpty())
        return;
    const QString run = request.wholeWord ? longestPlainRun(request.NamePattern) : request.NamePattern;
    for (const QChar c : run)
        if (c.unicode() >= 0x80)
            return;
    needle_ = run.toLatin1();
    std::transform(needle_.begin(), needle_.end(), needle_.begin(), upperAscii);
    nonAsciiMayMatch_ = request.pinyin;
    for (const char c : needle_)
        nonAsciiMayMatch_ |= !request.caseSensitive && upperCasedFromBeyondAscii()[size_t(c)];
}

// Jumps from one place of the needle's first letter, in either case, to the next.
bool NameNeedle::holds(QByteArrayView name) const
{
    const qsizetype places = name.size() - needle_.size() + 1;
    if (places <= 0)
        return false;
    const char* const start = name.data();
    const char* const end = start + places;
    const char upper = needle_[0];
    const char lower = upper >= 'A' && upper <= 'Z' ? char(upper - 'A' + 'a') : upper;
    const auto next = [end](const char* from, char c) {
        return from < end ? static_cast<const char*>(std::memchr(from, c, size_t(end - from))) : nullptr;
    };
    const char* atUpper = next(start, upper);
    const char* atLower = lower == upper ? nullptr : next(start, lower);
    while (atUpper || atLower) {
        const bool byUpper = atUpper && (!atLower || atUpper < atLower);
        const char* at = byUpper ? atUpper : atLower;
        qsizetype i = 1;
        while (i < needle_.size() && upperAscii(at[i]) == needle_[i])
            ++i;
        if (i == needle_.size())
            return true;
        if (byUpper)
            atUpper = next(at + 1, upper);
        else
            atLower = next(at + 1, lower);
    }
    return false;
}

} // namespace search
