#include "platform/files/paths.h"

namespace platform {

QByteArray joinPath(QByteArrayView folder, QByteArrayView name)
{
    QByteArray path;
    path.reserve(folder.size() + name.size() + 1);
    path += folder;
    if (!folder.endsWith('/'))
        path += '/';
    path += name;
    return path;
}

QByteArray fileUri(QByteArrayView path)
{
    return "file://" + path.toByteArray().toPercentEncoding("/");
}

QByteArray withoutTrailingSlashes(QByteArrayView path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path.toByteArray();
}

QByteArrayView lastComponent(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

SplitPath splitPath(QByteArrayView path)
{
    const QByteArray entry = withoutTrailingSlashes(path);
    const qsizetype slash = entry.lastIndexOf('/');
    if (slash < 0)
        return {".", entry};
    return {slash == 0 ? QByteArray("/") : entry.left(slash), entry.mid(slash + 1)};
}

std::optional<SplitPath> splitEntryPath(QByteArrayView path)
{
    if (path.isEmpty() || path.contains('\0'))
        return std::nullopt;
    SplitPath split = splitPath(path);
    if (split.name.isEmpty() || split.name == "." || split.name == "..")
        return std::nullopt;
    return split;
}

QByteArray containingFolder(QByteArrayView path)
{
    return splitPath(path).folder;
}

bool isSameOrBelow(QByteArrayView path, QByteArrayView folder)
{
    const QByteArray base = withoutTrailingSlashes(folder);
    if (base == "/")
        return path.startsWith('/');
    if (!path.startsWith(base))
        return false;
    return path.size() == base.size() || path[base.size()] == '/';
}

bool movePath(QByteArray& path, QByteArrayView from, QByteArrayView to)
{
    if (!isSameOrBelow(path, from))
        return false;
    path = to.toByteArray() + path.mid(from.size());
    return true;
}

} // namespace platform
