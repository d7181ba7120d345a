#include "search/row_mime_data.h"

#include <QMimeData>

namespace search {

QByteArray fileUri(QByteArrayView path)
{
    return "file://" + path.toByteArray().toPercentEncoding("/");
}

QMimeData* pathsMimeData(const QList<QString>& texts, const QList<QByteArray>& paths)
{
    QByteArray uris, copied("copy");
    for (const QByteArray& path : paths) {
        const QByteArray uri = fileUri(path);
        uris += uri + "\r\n";
        copied += '\n' + uri;
    }
    auto* data = new QMimeData;
    data->setText(texts.join(u'\n'));
    data->setData(QStringLiteral("text/uri-list"), uris);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    return data;
}

} // namespace search
