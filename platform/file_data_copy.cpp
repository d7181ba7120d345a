#include "platform/file_data_copy.h"

#include "platform/operation_progress.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

int writeAll(int out, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(out, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= n;
    }
    return 0;
}

} // namespace

int copyFileData(int in, int out, const struct stat&, OperationProgress* progress)
{
    // The kernel copies within a file system without the data passing through here; where it
    // cannot, a plain read and write loop goes on from the same offsets.
    while (true) {
        if (progress && progress->cancelled())
            return ECANCELED;
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n == 0)
            return 0;
        if (n > 0) {
            if (progress)
                progress->advance(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
            return errno;
        break;
    }
    std::vector<char> buffer(size_t(256) * 1024);
    while (true) {
        if (progress && progress->cancelled())
            return ECANCELED;
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (const int error = writeAll(out, buffer.data(), n))
            return error;
        if (progress)
            progress->advance(n);
    }
}

} // namespace platform
