#include "platform/files/file_name_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QString fileNameText(QByteArrayView name)
{
    if (isAscii(name))
        return QString::fromLatin1(name);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(name);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    if (gb18030.isValid()) {
        QString chinese = gb18030.decode(name);
        if (!gb18030.hasError())
            return chinese;
    }
    return text;
}

QString pathText(QByteArrayView path)
{
    if (isAscii(path))
        return QString::fromLatin1(path);
    QString text;
    qsizetype start = 0;
    while (true) {
        qsizetype slash = path.indexOf('/', start);
        qsizetype end = slash < 0 ? path.size() : slash;
        text += fileNameText(path.sliced(start, end - start));
        if (slash < 0)
            break;
        text += u'/';
        start = slash + 1;
    }
    return text;
}

QByteArray fileNameBytes(const QString& text)
{
    return text.toUtf8();
}

QList<QByteArray> typedPathSpellings(const QString& text)
{
    QList<QByteArray> spellings{fileNameBytes(text)};
    if (isAscii(spellings.front()))
        return spellings;
    QStringEncoder gb18030("GB18030", QStringEncoder::Flag::Stateless);
    if (gb18030.isValid()) {
        const QByteArray chinese = gb18030.encode(text);
        if (!gb18030.hasError() && chinese != spellings.front())
            spellings << chinese;
    }
    return spellings;
}

} // namespace platform
