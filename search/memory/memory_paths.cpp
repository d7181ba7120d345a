#include "search/memory/memory_paths.h"

namespace search {

bool PathComponents::next(QByteArrayView& component)
{
    while (at_ < path_.size() && path_[at_] == '/')
        ++at_;
    if (at_ >= path_.size())
        return false;
    qsizetype end = path_.indexOf('/', at_);
    if (end < 0)
        end = path_.size();
    component = path_.sliced(at_, end - at_);
    at_ = end;
    return true;
}

bool isAbsolutePath(QByteArrayView path)
{
    return path.isEmpty() || path.startsWith('/');
}

std::optional<QByteArrayView> pathBelow(QByteArrayView path, QByteArrayView folder)
{
    PathComponents inPath(path), inFolder(folder);
    qsizetype consumed = 0;
    for (QByteArrayView wanted; inFolder.next(wanted);) {
        QByteArrayView got;
        if (!inPath.next(got) || got != wanted)
            return std::nullopt;
        consumed = got.data() + got.size() - path.data();
    }
    return path.sliced(consumed);
}

bool sameComponents(QByteArrayView a, QByteArrayView b)
{
    const std::optional<QByteArrayView> rest = pathBelow(a, b);
    QByteArrayView extra;
    return rest && !PathComponents(*rest).next(extra);
}

QByteArrayView lastPathComponent(QByteArrayView path)
{
    while (path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

} // namespace search
