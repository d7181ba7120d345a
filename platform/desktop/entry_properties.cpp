#include "platform/desktop/entry_properties.h"

#include "platform/files/file_name_text.h"
#include "platform/files/paths.h"

#include <QMimeDatabase>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

QDateTime timeOf(const struct timespec& t)
{
    return QDateTime::fromMSecsSinceEpoch(int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
}

QString userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    struct passwd entry, *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    struct group entry, *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString permissionText(mode_t mode)
{
    QString text;
    const char letters[] = "rwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (mode & (1u << bit)) ? QChar::fromLatin1(letters[(8 - bit) % 3]) : u'-';
    return text + QStringLiteral(" (%1)").arg(uint(mode & 07777), 4, 8, QChar(u'0'));
}

std::optional<int64_t> countEntries(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    int64_t count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            ++count;
    }
    ::closedir(dir);
    return count;
}

QString typeOf(const QByteArray& path, const struct stat& st, const QString& name)
{
    QMimeDatabase types;
    if (S_ISDIR(st.st_mode))
        return types.mimeTypeForName(QStringLiteral("inode/directory")).comment();
    if (S_ISLNK(st.st_mode))
        return types.mimeTypeForName(QStringLiteral("inode/symlink")).comment();
    if (!S_ISREG(st.st_mode))
        return types.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
    // The first bytes tell a type that the name does not; never blocking on a swapped-in pipe.
    QByteArray head;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        head.resize(4096);
        const ssize_t n = ::read(fd, head.data(), size_t(head.size()));
        head.resize(n > 0 ? qsizetype(n) : 0);
        ::close(fd);
    }
    return types.mimeTypeForFileNameAndData(name, head).comment();
}

} // namespace

std::optional<EntryProperties> readEntryProperties(const QByteArray& path)
{
    struct stat st;
    if (path.isEmpty() || path.contains('\0') || ::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    EntryProperties p;
    const SplitPath split = splitPath(path);
    p.name = fileNameText(split.name);
    p.location = pathText(split.folder);
    p.isFolder = S_ISDIR(st.st_mode);
    p.type = typeOf(path, st, p.name);
    p.size = int64_t(st.st_size);
    if (p.isFolder)
        p.entryCount = countEntries(path);
    p.modified = timeOf(st.st_mtim);
    p.accessed = timeOf(st.st_atim);
    p.owner = userName(st.st_uid) + u'/' + groupName(st.st_gid);
    p.permissions = permissionText(st.st_mode);
    return p;
}

} // namespace platform
