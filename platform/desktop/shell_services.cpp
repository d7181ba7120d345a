#include "platform/desktop/shell_services.h"

#include <QDir>
#include <QFile>

namespace platform {

QUrl fileUrl(const QByteArray& path)
{
    QByteArray absolute = path;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + absolute;
    // Every byte but the unreserved ones and "/" is percent-encoded, so the URL says exactly
    // which bytes the name has.
    return QUrl::fromEncoded("file://" + absolute.toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace platform
