#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>
#include <string_view>

namespace search {

// Matching works on code points, so that "?" stands for one character even beyond the BMP.
using CodePoints = std::u32string;
using CodePointView = std::u32string_view;

// Removes the blanks (U+0020 only) at both ends; tabs and other white space stay.
QString trimBlanks(const QString& text);

// Every character to its single capital; one without a single capital (such as "ß") stays, so a
// text keeps its length.
char32_t upperCase(char32_t c);
void upperCaseInPlace(CodePoints& text);
CodePoints upperCased(CodePointView text);
QString upperCased(const QString& text);

CodePoints toCodePoints(const QString& text);
QString fromCodePoints(CodePointView text);

// The text of a file name as matching sees it, written into a reused buffer; upper-cased when
// asked, in the same pass.
void decodeFileName(QByteArrayView name, bool upper, CodePoints& out);

} // namespace search
