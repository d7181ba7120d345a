#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The program's cache folder: $XDG_CACHE_HOME/sorvane where that is an absolute path, else
// ~/.cache/sorvane.
QString cacheFolder();

// The frame around a cache file's payload: a magic of 8 bytes and a version of 4, the payload,
// then the payload's length (8) and the CRC-32 of everything before it (4), little-endian.
struct CacheFormat {
    QByteArray magic;     // 8 bytes
    uint32_t version = 0;
    int64_t largest = 0;  // a larger file is refused unread
};

// Why a cache file gives nothing to read.
enum class CacheRefusal {
    None,
    Absent,
    NotARegularFile, // a link, a folder, a pipe... in its place: never followed nor opened as one
    OtherOwner,
    Exposed,         // readable or writable by the group or others: someone else's, or left open
    TooLarge,
    OtherFormat,     // too short for its frame, another magic or another version
    Unreadable,
};

// A cache file's payload, read through its frame: it hands out the payload's bytes and no
// more, checksumming them as they pass, and tells at the end whether they were the file's
// whole payload as written.
class CacheFileReading : public QIODevice {
    Q_OBJECT
public:
    // source: open for reading, at the frame's first byte, size bytes long.
    CacheFileReading(std::unique_ptr<QIODevice> source, const CacheFormat& format, int64_t size);
    ~CacheFileReading() override;

    bool recognised() const { return recognised_; } // the magic and the version are the format's
    int64_t payloadSize() const { return payloadSize_; }
    // Once every byte of the payload was read: whether its length and checksum are the ones
    // written after it.
    bool intact();
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::unique_ptr<QIODevice> source_;
    int64_t payloadSize_ = 0;
    int64_t payloadLeft_ = 0;
    uint32_t checksum_ = 0;
    bool recognised_ = false;
};

// One cache file of this user's, kept private: folder 0700, file 0600, and never read unless it
// is a regular file of this user's that no one else may read or write. It is replaced as a
// whole: written into a temporary file in the same folder, synced, then renamed over the old
// one, so a reader finds the old file or the new one, never a part.
class CacheFile {
public:
    CacheFile(QString folder, QString name, CacheFormat format);

    struct Opened {
        std::unique_ptr<CacheFileReading> reading; // nothing where refused
        CacheRefusal refusal = CacheRefusal::None;
    };
    // The payload to read, its frame recognised; whoever reads it asks intact() at the end.
    Opened open() const;
    // Writes a new file: payload writes the payload into the device it is given and says
    // whether it could. Whether the new file took the old one's place; where not, the old one
    // stays as it was.
    bool write(const std::function<bool(QIODevice&)>& payload) const;
    // Removes the file (and a temporary one left behind); whether none is there now.
    bool remove() const;

    QString path() const { return folder_ + u'/' + name_; }

private:
    QString folder_, name_;
    CacheFormat format_;
};

} // namespace platform
