// A small branching network for end-to-end runs that must compute something: a trunk, a
// diagonal branch and a side branch, far enough from the edges for a window of 13.
#pragma once

#include <string>

namespace ds::test {

inline constexpr int kNetLines = 30;
inline constexpr int kNetColumns = 32;

inline std::string small_network() {
    std::string raw(static_cast<std::size_t>(kNetLines * kNetColumns), '\0');
    auto set = [&](int i, int j) { raw[static_cast<std::size_t>(i * kNetColumns + j)] = 1; };
    for (int i = 2; i < 28; ++i)
        set(i, 15);
    for (int k = 1; k < 11; ++k)
        set(10 + k, 15 + k);
    for (int j = 4; j < 15; ++j)
        set(20, j);
    set(5, 5);  // an isolated pixel
    return raw;
}

// The six integers of its descriptor.
inline std::string small_network_descriptor() {
    return std::to_string(kNetLines) + " " + std::to_string(kNetColumns) + " 1 0 255 30\n";
}

}  // namespace ds::test
