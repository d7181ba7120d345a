#include "platform/file_system.h"

namespace platform {

QByteArray joinPath(const QByteArray& folder, QByteArrayView name)
{
    QByteArray path;
    path.reserve(folder.size() + name.size() + 1);
    path += folder;
    if (!folder.endsWith('/'))
        path += '/';
    path += name;
    return path;
}

} // namespace platform
