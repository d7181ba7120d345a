#include "platform/desktop/shell_services.h"

#include "platform/files/paths.h"

#include <QDir>
#include <QFile>

namespace platform {

QUrl fileUrl(const QByteArray& path)
{
    QByteArray absolute = path;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + absolute;
    return QUrl::fromEncoded(fileUri(absolute), QUrl::StrictMode);
}

} // namespace platform
