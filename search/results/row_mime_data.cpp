#include "search/results/row_mime_data.h"

#include "platform/files/file_name_text.h"
#include "platform/files/paths.h"

#include <QMimeData>

namespace search {

QMimeData* pathsMimeData(const QList<QByteArray>& paths)
{
    QStringList texts;
    QByteArray uris, copied("copy");
    for (const QByteArray& path : paths) {
        texts << platform::pathText(path);
        const QByteArray uri = platform::fileUri(path);
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
