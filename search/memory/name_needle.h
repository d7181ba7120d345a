#pragma once

#include "search/match/match_criteria.h"

#include <QByteArray>
#include <QByteArrayView>

namespace search {

// A test on a name's bytes that turns down, without decoding them, names that cannot meet a
// request: a name whose bytes lack a run of ASCII characters that every name the request accepts
// holds (the contains pattern, or the longest plain run of a whole-word pattern), in either
// case. It only ever turns down: a name it lets through still goes to the entry filter.
//
// It is sound because an ASCII character of a name's text is always that same byte of the name,
// whether it was decoded as UTF-8 or as GB18030 (whose other characters are all outside ASCII).
// Where the text may hold letters its bytes do not, it lets the name through: with 拼音匹配 a
// Han character stands for letters, and upper-casing turns "ı" and "ſ" into "I" and "S".
class NameNeedle {
public:
    explicit NameNeedle(const MatchCriteria& request);

    bool turnsDown(QByteArrayView name) const
    {
        if (needle_.isEmpty())
            return false;
        bool ascii = true;
        for (const char c : name)
            ascii &= static_cast<unsigned char>(c) < 0x80;
        return (ascii || !nonAsciiMayMatch_) && !holds(name);
    }

private:
    bool holds(QByteArrayView name) const;

    QByteArray needle_;             // upper case; empty: turns nothing down
    bool nonAsciiMayMatch_ = false; // a name with other bytes may match without holding it
};

} // namespace search
