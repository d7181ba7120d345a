#include "platform/files/open_beneath.h"

#include "platform/files/file_descriptor.h"

#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {
namespace {

// How the folders on the way to the last one are opened: as places, to open the next from.
constexpr int kOnTheWay = O_PATH | O_DIRECTORY | O_CLOEXEC;
// The longest stretch of a path handed to the kernel at once, well within what it takes.
constexpr qsizetype kStretch = PATH_MAX / 2;

std::atomic<bool> triesOpenat2{true}; // false on kernels before 5.6

// Bytes of at most N, with the NUL the kernel wants after them, on the stack.
template <qsizetype N>
class Terminated {
public:
    explicit Terminated(QByteArrayView bytes)
    {
        std::memcpy(bytes_, bytes.data(), size_t(bytes.size()));
        bytes_[bytes.size()] = '\0';
    }
    const char* get() const { return bytes_; }

private:
    char bytes_[N + 1];
};

// Opens names below dir a stretch of components at a time, each stretch by open(folder, stretch,
// flags) from the folder the stretch before reached, with lastFlags for the last.
template <typename Open>
int byStretches(int dir, QByteArrayView names, int lastFlags, Open open)
{
    Fd at;
    while (true) {
        const bool last = names.size() <= kStretch;
        const qsizetype end = last ? names.size() : names.first(kStretch + 1).lastIndexOf('/');
        if (!last && end <= 0) {
            errno = ENAMETOOLONG; // one component longer than any name may be
            return -1;
        }
        const Terminated<kStretch> stretch(names.first(end));
        const int next = open(at ? at.get() : dir, stretch.get(), last ? lastFlags : kOnTheWay);
        if (next < 0 || last)
            return next;
        at.reset(next);
        names = names.sliced(end + 1);
    }
}

// What openat2 refuses, refused one component at a time: a link anywhere, and ".." above dir.
int byComponents(int dir, QByteArrayView names, int flags)
{
    Fd at;
    int depth = 0;
    qsizetype start = 0;
    while (true) {
        while (start < names.size() && names[start] == '/')
            ++start;
        qsizetype end = names.indexOf('/', start);
        end = end < 0 ? names.size() : end;
        qsizetype next = end;
        while (next < names.size() && names[next] == '/')
            ++next;
        const QByteArrayView name = names.sliced(start, end - start);
        if (name.isEmpty() || name.size() > NAME_MAX) {
            errno = name.isEmpty() ? ENOENT : ENAMETOOLONG;
            return -1;
        }
        depth += name == ".." ? -1 : name == "." ? 0 : 1;
        if (depth < 0) {
            errno = EXDEV;
            return -1;
        }
        const bool last = next == names.size();
        const Terminated<NAME_MAX> component(name);
        const int opened = ::openat(at ? at.get() : dir, component.get(), (last ? flags : kOnTheWay) | O_NOFOLLOW);
        if (opened < 0 || last)
            return opened;
        at.reset(opened);
        start = next;
    }
}

int stretchBeneath(int dir, const char* names, int flags)
{
    if (triesOpenat2.load(std::memory_order_relaxed)) {
        struct open_how how {};
        // The resolve flags refuse a link at the end as well; with O_PATH, O_NOFOLLOW would open it.
        how.flags = uint64_t(flags & ~O_NOFOLLOW);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
        long fd;
        do {
            fd = ::syscall(SYS_openat2, dir, names, &how, sizeof how);
        } while (fd < 0 && errno == EAGAIN);
        if (fd >= 0 || errno != ENOSYS)
            return int(fd);
        triesOpenat2 = false;
    }
    return byComponents(dir, names, flags);
}

int openRoot()
{
    return ::open("/", kOnTheWay);
}

} // namespace

int openBeneath(int dir, QByteArrayView names, int access)
{
    const int flags = access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (!names.contains('/')) {
        // What the walk opens for every folder: one call, and the name copied on the stack.
        if (names.size() > NAME_MAX || names == "..") {
            errno = names == ".." ? EXDEV : ENAMETOOLONG;
            return -1;
        }
        const Terminated<NAME_MAX> name(names);
        return ::openat(dir, name.get(), flags);
    }
    return byStretches(dir, names, flags, stretchBeneath);
}

int openPath(QByteArrayView path, PathLinks links, int access)
{
    const int flags = access | O_DIRECTORY | O_CLOEXEC;
    const bool absolute = path.isEmpty() || path.startsWith('/');
    QByteArrayView names = path;
    while (names.startsWith('/'))
        names = names.sliced(1);
    if (links == PathLinks::None) {
        if (!absolute)
            return openBeneath(AT_FDCWD, names, access);
        const Fd root(openRoot());
        if (!root)
            return -1;
        return names.isEmpty() ? ::openat(root.get(), ".", flags) : openBeneath(root.get(), names, access);
    }
    const int lastFlags = flags | (links == PathLinks::OnTheWay ? O_NOFOLLOW : 0);
    if (path.size() < PATH_MAX) {
        const Terminated<PATH_MAX> whole(path.isEmpty() ? QByteArrayView("/") : path);
        return ::open(whole.get(), lastFlags);
    }
    const auto openAt = [](int at, const char* stretch, int f) { return ::openat(at, stretch, f); };
    if (!absolute)
        return byStretches(AT_FDCWD, names, lastFlags, openAt);
    const Fd root(openRoot());
    return root ? byStretches(root.get(), names, lastFlags, openAt) : -1;
}

void tryOpenat2(bool tries)
{
    triesOpenat2 = tries;
}

} // namespace platform
