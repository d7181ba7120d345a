#include "platform/file_name_text.h"

#include <QStringDecoder>

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

} // namespace platform
