#include "platform/session/single_instance.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A folder that this user owns, that is no link and that no one else may enter.
bool isOwnPrivateFolder(const QByteArray& path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & 077) == 0;
}

// The per-user folder below the temporary folder. A folder of that name that is this user's own
// gets mode 0700 back; one that is anyone else's, or anything but a folder, is never used.
QByteArray perUserFolder(const QByteArray& tempFolder)
{
    const QByteArray path = tempFolder + "/sorvane-" + QByteArray::number(::geteuid());
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return {};
    return isOwnPrivateFolder(path) ? path : QByteArray();
}

int openLockFile(const QByteArray& path)
{
    return ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Moves whatever stands where the lock file belongs out of the way: a link or a file that cannot
// be opened is removed, an empty folder too; a folder with something in it is only renamed, so
// nothing in it is lost. The instance folder is this user's own, so no one else put it there.
bool clearLockPath(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0;
    if (::rmdir(path.constData()) == 0)
        return true;
    const QByteArray aside = path + ".broken-" + QByteArray::number(::getpid());
    return ::rename(path.constData(), aside.constData()) == 0;
}

} // namespace

QString instanceFolder(const QByteArray& runtimeFolder, const QByteArray& tempFolder)
{
    if (!runtimeFolder.isEmpty() && isOwnPrivateFolder(runtimeFolder))
        return QFile::decodeName(runtimeFolder);
    return QFile::decodeName(perUserFolder(tempFolder));
}

QString instanceFolder()
{
    return instanceFolder(qgetenv("XDG_RUNTIME_DIR"), QFile::encodeName(QDir::tempPath()));
}

SingleInstance::SingleInstance(QString folder) : folder_(std::move(folder)) {}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool SingleInstance::acquire()
{
    if (folder_.isEmpty())
        return true;
    const QByteArray path = QFile::encodeName(folder_ + QStringLiteral("/sorvane.lock"));
    int fd = openLockFile(path);
    if (fd < 0 && clearLockPath(path))
        fd = openLockFile(path);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    // For a person who looks: which process holds it. Nothing reads it back.
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, pid.constData(), size_t(pid.size()));
    }
    fd_ = fd;
    return true;
}

QString SingleInstance::socketPath() const
{
    return folder_.isEmpty() ? QString() : folder_ + QStringLiteral("/sorvane.socket");
}

} // namespace platform
