#pragma once

namespace platform {

// Layout lengths are given in twips; 15 twips make one logical pixel, so the window keeps its
// proportions on a high-resolution screen.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

} // namespace platform
