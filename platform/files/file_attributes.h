#pragma once

#include <cstdint>

namespace platform {

// Attribute bits, with the values of the platform the program was first written for.
enum FileAttribute : uint32_t {
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    VolumeLabel = 8,
    Directory = 16,
};

} // namespace platform
