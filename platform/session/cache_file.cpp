#include "platform/session/cache_file.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int64_t kHeaderBytes = 12, kTrailerBytes = 12;

uint32_t crcOf(uint32_t crc, const char* data, int64_t size)
{
    while (size > 0) {
        const auto step = uInt(std::min<int64_t>(size, 1 << 30));
        crc = uint32_t(crc32(crc, reinterpret_cast<const Bytef*>(data), step));
        data += step;
        size -= step;
    }
    return crc;
}

QByteArray header(const CacheFormat& format)
{
    QByteArray bytes = format.magic.leftJustified(8, '\0', true);
    char version[4];
    qToLittleEndian(format.version, version);
    return bytes + QByteArray(version, 4);
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// The folder, never through a link in its own place.
int openFolder(const QByteArray& folder)
{
    return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Makes the folder and the folders above it that are missing, private; leaves the others be.
bool makeFolder(const QByteArray& folder)
{
    if (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = folder.lastIndexOf('/');
    return slash > 0 && makeFolder(folder.left(slash)) && (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST);
}

// The payload's writer: every byte goes straight to the descriptor and into the checksum.
class FramedWriting : public QIODevice {
public:
    explicit FramedWriting(int fd) : fd_(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool put(QByteArrayView bytes) { return writeData(bytes.data(), bytes.size()) == bytes.size(); }
    uint32_t checksum() const { return checksum_; }
    int64_t written() const { return written_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        for (qint64 done = 0; done < size;) {
            const ssize_t n = ::write(fd_, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return -1;
            done += n;
        }
        checksum_ = crcOf(checksum_, data, size);
        written_ += size;
        return size;
    }

private:
    int fd_;
    uint32_t checksum_ = uint32_t(crc32(0, nullptr, 0));
    int64_t written_ = 0;
};

} // namespace

QString cacheFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString base = xdg.startsWith(u'/') ? xdg : QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/sorvane");
}

CacheFileReading::CacheFileReading(std::unique_ptr<QIODevice> source, const CacheFormat& format, int64_t size)
    : source_(std::move(source))
{
    const QByteArray expected = header(format);
    if (size < kHeaderBytes + kTrailerBytes || source_->read(kHeaderBytes) != expected)
        return;
    recognised_ = true;
    payloadSize_ = payloadLeft_ = size - kHeaderBytes - kTrailerBytes;
    checksum_ = crcOf(uint32_t(crc32(0, nullptr, 0)), expected.constData(), expected.size());
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

CacheFileReading::~CacheFileReading() = default;

qint64 CacheFileReading::readData(char* data, qint64 maxSize)
{
    const qint64 wanted = std::min<qint64>(maxSize, payloadLeft_);
    if (wanted == 0)
        return -1;
    const qint64 got = source_->read(data, wanted);
    if (got <= 0)
        return -1;
    checksum_ = crcOf(checksum_, data, got);
    payloadLeft_ -= got;
    return got;
}

bool CacheFileReading::intact()
{
    if (!recognised_ || payloadLeft_ != 0)
        return false;
    const QByteArray trailer = source_->read(kTrailerBytes);
    return trailer.size() == kTrailerBytes && qFromLittleEndian<int64_t>(trailer.constData()) == payloadSize_
        && qFromLittleEndian<uint32_t>(trailer.constData() + 8) == checksum_ && source_->read(1).isEmpty();
}

CacheFile::CacheFile(QString folder, QString name, CacheFormat format)
    : folder_(std::move(folder)), name_(std::move(name)), format_(std::move(format))
{
}

CacheFile::Opened CacheFile::open() const
{
    Opened opened;
    const Descriptor folder(openFolder(QFile::encodeName(folder_)));
    if (folder.fd < 0) {
        opened.refusal = errno == ENOENT                    ? CacheRefusal::Absent
            : errno == ELOOP || errno == ENOTDIR ? CacheRefusal::NotARegularFile
                                                 : CacheRefusal::Unreadable;
        return opened;
    }
    // Not blocking, so that a pipe put in its place cannot hold the reader up before it is refused.
    const int fd = ::openat(folder.fd, QFile::encodeName(name_).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        opened.refusal = errno == ENOENT ? CacheRefusal::Absent
            : errno == ELOOP             ? CacheRefusal::NotARegularFile
                                         : CacheRefusal::Unreadable;
        return opened;
    }
    auto file = std::make_unique<QFile>();
    struct stat st {};
    if (::fstat(fd, &st) != 0
        || !file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        opened.refusal = CacheRefusal::Unreadable;
        return opened;
    }
    if (!S_ISREG(st.st_mode))
        opened.refusal = CacheRefusal::NotARegularFile;
    else if (st.st_uid != ::geteuid())
        opened.refusal = CacheRefusal::OtherOwner;
    else if ((st.st_mode & 077) != 0)
        opened.refusal = CacheRefusal::Exposed;
    else if (st.st_size > format_.largest)
        opened.refusal = CacheRefusal::TooLarge;
    if (opened.refusal != CacheRefusal::None)
        return opened;
    auto reading = std::make_unique<CacheFileReading>(std::move(file), format_, int64_t(st.st_size));
    if (!reading->recognised())
        opened.refusal = CacheRefusal::OtherFormat;
    else
        opened.reading = std::move(reading);
    return opened;
}

bool CacheFile::write(const std::function<bool(QIODevice&)>& payload) const
{
    const QByteArray folderPath = QFile::encodeName(folder_);
    if (!makeFolder(folderPath))
        return false;
    const Descriptor folder(openFolder(folderPath));
    struct stat st {};
    if (folder.fd < 0 || ::fstat(folder.fd, &st) != 0 || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::fchmod(folder.fd, 0700) != 0)
        return false;

    const QByteArray name = QFile::encodeName(name_);
    const QByteArray temporary = name + ".new";
    if (::unlinkat(folder.fd, temporary.constData(), 0) != 0 && errno != ENOENT)
        return false;
    const Descriptor file(
        ::openat(folder.fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.fd < 0)
        return false;
    FramedWriting out(file.fd);
    bool written = ::fchmod(file.fd, 0600) == 0 && out.put(header(format_)) && payload(out);
    if (written) {
        const int64_t payloadSize = out.written() - kHeaderBytes;
        char trailer[kTrailerBytes];
        qToLittleEndian(payloadSize, trailer);
        qToLittleEndian(out.checksum(), trailer + 8);
        written = out.put(QByteArrayView(trailer, kTrailerBytes)) && ::fsync(file.fd) == 0
            && ::renameat(folder.fd, temporary.constData(), folder.fd, name.constData()) == 0;
    }
    if (!written) {
        ::unlinkat(folder.fd, temporary.constData(), 0);
        return false;
    }
    ::fsync(folder.fd); // the rename itself survives a crash
    return true;
}

bool CacheFile::remove() const
{
    const Descriptor folder(openFolder(QFile::encodeName(folder_)));
    if (folder.fd < 0)
        return errno == ENOENT;
    const QByteArray name = QFile::encodeName(name_);
    bool removed = true;
    for (const QByteArray& entry : {name + ".new", name})
        removed = (::unlinkat(folder.fd, entry.constData(), 0) == 0 || errno == ENOENT) && removed;
    return removed;
}

} // namespace platform
