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

namespace {

// Well-formed UTF-8 straight into out, reusing its room; false, with out undefined, where the
// bytes are not (an overlong form, a surrogate, past U+10FFFF, cut short), as the decoder of the
// names' text says too.
bool decodeUtf8(QByteArrayView bytes, CodePoints& out)
{
    out.resize(size_t(bytes.size()));
    size_t n = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(bytes[at]); };
        const unsigned lead = byte(i);
        if (lead < 0x80) {
            out[n++] = lead;
            ++i;
            continue;
        }
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        if (more < 0 || lead > 0xF4 || i + more >= bytes.size())
            return false;
        char32_t c = lead & (0x3F >> more);
        for (int k = 1; k <= more; ++k) {
            const unsigned next = byte(i + k);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out[n++] = c;
        i += 1 + more;
    }
    out.resize(n);
    return true;
}

} // namespace

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
    // Most names are UTF-8: decoded without a text between, so that no name costs an allocation.
    if (!decodeUtf8(name, out))
        out = platform::fileNameText(name).toStdU32String();
    if (upper)
        upperCaseInPlace(out);
}

} // namespace search
