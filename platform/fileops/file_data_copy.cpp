#include "platform/fileops/file_data_copy.h"

#include "platform/fileops/operation_progress.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace platform {
namespace {

// Between two chunks the copy looks for a cancel and reports its bytes.
constexpr off_t kChunk = off_t(16) << 20;
constexpr size_t kBuffer = size_t(1) << 20;

// The errors by which copy_file_range says it cannot copy between these two files at all.
bool kernelCopyUnavailable(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM
        || error == ETXTBSY || error == EBADF;
}

class DataCopy {
public:
    DataCopy(int in, int out, OperationProgress* progress, DataCopyMethod method)
        : in_(in), out_(out), progress_(progress), method_(method)
    {
    }

    // Copies the bytes from begin to end, which hold data; 0, or an errno.
    int range(off_t begin, off_t end)
    {
        for (off_t at = begin; at < end;) {
            if (progress_ && progress_->cancelled())
                return ECANCELED;
            const size_t wanted = size_t(std::min(kChunk, end - at));
            ssize_t n = method_ == DataCopyMethod::ReadWrite ? readWrite(at, wanted) : kernelCopy(at, wanted);
            if (n < 0 && method_ == DataCopyMethod::KernelCopy && kernelCopyUnavailable(errno)) {
                method_ = DataCopyMethod::ReadWrite;
                continue;
            }
            if (n < 0)
                return errno;
            if (n == 0)
                return 0; // the file ended sooner than it said
            at += n;
            advance(n);
        }
        return 0;
    }

    void advance(int64_t bytes)
    {
        if (progress_ && bytes > 0)
            progress_->advance(bytes);
    }

private:
    ssize_t kernelCopy(off_t at, size_t wanted)
    {
        loff_t from = at, to = at;
        ssize_t n;
        do {
            n = ::copy_file_range(in_, &from, out_, &to, wanted, 0);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    ssize_t readWrite(off_t at, size_t wanted)
    {
        if (!buffer_)
            buffer_ = std::make_unique<char[]>(kBuffer);
        ssize_t n;
        do {
            n = ::pread(in_, buffer_.get(), std::min(wanted, kBuffer), at);
        } while (n < 0 && errno == EINTR);
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::pwrite(out_, buffer_.get() + written, size_t(n - written), at + written);
            if (w < 0 && errno != EINTR)
                return -1;
            written += std::max<ssize_t>(w, 0);
        }
        return n;
    }

    int in_, out_;
    OperationProgress* progress_;
    DataCopyMethod method_;
    std::unique_ptr<char[]> buffer_;
};

// Where the next part holding data begins at or after offset, and where it ends; begin is the
// size when no data follows. A file system that cannot tell has all of the file as data.
void nextData(int in, off_t offset, off_t size, off_t& begin, off_t& end)
{
    begin = ::lseek(in, offset, SEEK_DATA);
    if (begin < 0) {
        begin = errno == ENXIO ? size : offset;
        end = size;
        return;
    }
    end = ::lseek(in, begin, SEEK_HOLE);
    if (end < 0 || end > size)
        end = size;
    begin = std::min(begin, size);
}

} // namespace

int copyFileData(int in, int out, off_t size, OperationProgress* progress, DataCopyMethod first)
{
    if (first == DataCopyMethod::Clone && size > 0 && ::ioctl(out, FICLONE, in) == 0) {
        if (progress)
            progress->advance(size);
        return 0;
    }
    DataCopy copy(in, out, progress, first == DataCopyMethod::ReadWrite ? first : DataCopyMethod::KernelCopy);
    for (off_t offset = 0; offset < size;) {
        if (progress && progress->cancelled())
            return ECANCELED;
        off_t begin, end;
        nextData(in, offset, size, begin, end);
        copy.advance(begin - offset); // a hole: nothing to write
        if (const int error = copy.range(begin, end))
            return error;
        offset = end;
    }
    // The size, so that a hole at the end stays a hole.
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

} // namespace platform
