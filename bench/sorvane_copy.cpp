// The copy benchmark's driver: one file copied as the copy action copies it.
//
// usage: sorvane-copy SOURCE DESTINATION
// Prints "seconds=S bytes=N" for the copy alone; exits 1 when the copy fails.
#include "platform/fileops/file_copy.h"

#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sorvane-copy SOURCE DESTINATION\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const platform::FileOperationResult done = platform::copyFile(platform::EntryRef{QByteArray(argv[1]), {}}, QByteArray(argv[2]));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!done.ok()) {
        std::fprintf(stderr, "copy failed: %s\n", std::strerror(done.error));
        return 1;
    }
    std::printf("seconds=%.4f\n", seconds);
    return 0;
}
