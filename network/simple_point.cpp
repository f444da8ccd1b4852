#include "network/simple_point.h"

namespace ds {

namespace {

// std::abs is not constexpr before C++23.
constexpr int distance(int a, int b) { return a < b ? b - a : a - b; }

// Ring cells k and l are adjacent: 8-adjacent, or 4-adjacent when `four` is set.
constexpr bool adjacent(int k, int l, bool four) {
    const int dr = distance(kNeighbourRow[k], kNeighbourRow[l]);
    const int dc = distance(kNeighbourCol[k], kNeighbourCol[l]);
    return four ? dr + dc == 1 : dr <= 1 && dc <= 1 && dr + dc > 0;
}

// Groups of ring cells whose bit in `code` equals `set`, under 8- or 4-adjacency; with
// `touching`, only the groups that hold a 4-neighbour of the centre (even k) count.
constexpr int ring_groups(unsigned code, bool set, bool four, bool touching) {
    std::array<int, 8> group{};
    group.fill(-1);
    int groups = 0;
    for (int start = 0; start < 8; ++start) {
        if (((code >> start) & 1u) != (set ? 1u : 0u) || group[start] >= 0)
            continue;
        group[start] = groups;
        bool grew = true;
        while (grew) {
            grew = false;
            for (int k = 0; k < 8; ++k)
                for (int l = 0; l < 8; ++l)
                    if (group[k] == groups && group[l] < 0 &&
                        ((code >> l) & 1u) == (set ? 1u : 0u) && adjacent(k, l, four)) {
                        group[l] = groups;
                        grew = true;
                    }
        }
        ++groups;
    }
    if (!touching)
        return groups;
    int counted = 0;
    for (int g = 0; g < groups; ++g)
        for (int k = 0; k < 8; k += 2)
            if (group[k] == g) {
                ++counted;
                break;
            }
    return counted;
}

constexpr std::array<bool, 256> simple_table() {
    std::array<bool, 256> table{};
    for (unsigned code = 0; code < 256; ++code)
        table[code] =
            ring_groups(code, true, false, false) == 1 && ring_groups(code, false, true, true) == 1;
    return table;
}

constexpr std::array<bool, 256> kSimple = simple_table();

}  // namespace

bool is_simple(unsigned code) {
    return kSimple[code & 0xFFu];
}

}  // namespace ds
