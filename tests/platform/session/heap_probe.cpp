// Starts as the program does, then prints the tunables it would hand to a program it opens a
// file with, and whether its heap (grown by small blocks, as a walk grows it) asks for huge pages.
#include "platform/session/heap_settings.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

int main(int, char** argv)
{
    platform::setHeapForManyRows(argv);
    std::vector<void*> blocks;
    for (int i = 0; i < 20000; ++i) // 6 MB in blocks of a folder's size
        blocks.push_back(std::malloc(300));
    bool inHeap = false;
    bool hugeHeap = false;
    std::ifstream maps("/proc/self/smaps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(" [heap]") != std::string::npos)
            inHeap = true;
        else if (inHeap && line.rfind("VmFlags:", 0) == 0) {
            hugeHeap = line.find(" hg") != std::string::npos;
            inHeap = false;
        }
    }
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("tunables=%s huge=%d marker=%d\n", tunables ? tunables : "(unset)", int(hugeHeap),
                int(std::getenv("SORVANE_USERS_TUNABLES") != nullptr));
    for (void* block : blocks)
        std::free(block);
}
