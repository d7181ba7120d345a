#pragma once

#include "search/match/text_rules.h"

#include <QString>

#include <string_view>

namespace search {

// The text after the last ".", the whole text when it has none, the empty text when it ends
// with ".". The case stays as it was.
QString GetExtension(const QString& text);
// Of code points, or of an ASCII name's bytes.
template <class Char>
std::basic_string_view<Char> GetExtension(std::basic_string_view<Char> text)
{
    const size_t dot = text.rfind(Char('.'));
    return dot == text.npos ? text : text.substr(dot + 1);
}

} // namespace search
