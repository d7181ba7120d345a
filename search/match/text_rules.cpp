#include "search/match/text_rules.h"

#include "platform/files/file_name_text.h"

#include <QChar>

namespace search {

QString trimBlanks(const QString& text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    return text.mid(start, end - start);
}

char32_t upperCase(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 32 : c;
    return QChar::toUpper(c);
}

void upperCaseInPlace(CodePoints& text)
{
    for (char32_t& c : text)
        c = upperCase(c);
}

CodePoints upperCased(CodePointView text)
{
    CodePoints out(text);
    upperCaseInPlace(out);
    return out;
}

QString upperCased(const QString& text)
{
    return fromCodePoints(upperCased(toCodePoints(text)));
}

CodePoints toCodePoints(const QString& text)
{
    return text.toStdU32String();
}

QString fromCodePoints(CodePointView text)
{
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

void decodeFileName(QByteArrayView name, bool upper, CodePoints& out)
{
    if (platform::isAscii(name)) {
        out.resize(size_t(name.size()));
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char32_t c = static_cast<unsigned char>(name[i]);
            out[size_t(i)] = (upper && c >= 'a' && c <= 'z') ? c - 32 : c;
        }
        return;
    }
    out = platform::fileNameText(name).toStdU32String();
    if (upper)
        upperCaseInPlace(out);
}

} // namespace search
