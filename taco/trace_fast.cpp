#include "taco/trace_fast.h"

#include <algorithm>
#include <bit>
#include <cassert>

#include "lib/window.h"

namespace ds {

BranchWorkspace::BranchWorkspace(int win_size)
    : m_(win_size),
      queue_(static_cast<std::size_t>(win_size) * static_cast<std::size_t>(win_size)),
      marked_(win_size) {}

namespace {

// Row and column steps of the 3 x 3 neighbourhood, bit k = 3 * (dr + 1) + (dc + 1).
constexpr int kDr[9] = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
constexpr int kDc[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};

// Bits p to p + 2 of (a AND NOT b) for two rows of the same layout.
inline unsigned three_open(const std::uint64_t* a, const std::uint64_t* b, BitCursor at) {
    const std::uint64_t lo = (a[at.w] & ~b[at.w]) >> at.o;
    const std::uint64_t hi = ((a[at.w + 1] & ~b[at.w + 1]) << 1) << (63 - at.o);
    return static_cast<unsigned>((lo | hi) & 7u);
}

// One traversal's view of the window: the network under it, the visited mark (rows of the
// window, laid out like rows of the raster) and the cells found.
struct Tracer {
    const std::uint64_t* net;  // raster row under window row 0
    std::uint64_t* visited;    // window row 0 of the visited mark
    std::int64_t words;        // words per raster row
    std::int64_t col0;         // raster column under window column 0
    WindowCell* q;
    int m;
};

struct Extent {
    std::size_t n;  // cells in the list
    int lo;         // rows marked visited
    int hi;
};

// Appends to the list the component of (r0, c0) among the cells of rows and columns 1 to
// m-1 and returns its first event in scan order (row-major index): its own first cell at a
// seed position, or a row-0/column-0 seed next to it.
int trace_component(const Tracer t, Extent& ext, int r0, int c0) {
    // Locals, so that the stores into the mark and the list cannot alias them.
    const std::uint64_t* const net = t.net;
    std::uint64_t* const visited = t.visited;
    const std::int64_t nw = t.words;
    const std::int64_t col0 = t.col0;
    WindowCell* const q = t.q;
    const int m = t.m;
    std::size_t n = ext.n;
    std::size_t head = n;
    int lo = std::min(ext.lo, r0);
    int hi = std::max(ext.hi, r0);
    const auto mark = [&](int r, int c) {
        const std::int64_t p = col0 + c;
        visited[r * nw + (p >> 6)] |= std::uint64_t{1} << (p & 63);
    };

    mark(r0, c0);
    q[n++] = {r0, c0};
    int earliest = m * m;
    while (head < n) {
        const WindowCell x = q[head++];
        const std::int64_t off = x.r * nw;
        const BitCursor at(col0 + x.c - 1);
        // Network cells around x not yet visited; row 0 and column 0 are never visited.
        const unsigned up = three_open(net + off - nw, visited + off - nw, at);
        const unsigned mid = three_open(net + off, visited + off, at) & 5u;
        const unsigned down = three_open(net + off + nw, visited + off + nw, at);

        unsigned fresh = up | (mid << 3) | (down << 6);
        if (static_cast<unsigned>(x.r - 2) <= static_cast<unsigned>(m - 4) &&
            static_cast<unsigned>(x.c - 2) <= static_cast<unsigned>(m - 4)) {
            // Away from the window's edges: a seed position, and every neighbour may be entered.
            earliest = std::min(earliest, x.r * m + x.c);
        } else {
            if (x.r <= m - 2 && x.c <= m - 2)
                earliest = std::min(earliest, x.r * m + x.c);
            if (x.r == 1) {
                // Row-0 seeds next to the cell: columns up to m - 2.
                const unsigned seeds = up & (x.c == m - 1 ? 1u : x.c == m - 2 ? 3u : 7u);
                if (seeds != 0)
                    earliest = std::min(earliest, x.c - 1 + std::countr_zero(seeds));
            }
            if (x.c == 1) {
                // Column-0 seeds next to the cell: rows up to m - 2, the first row first.
                if (up & 1u)
                    earliest = std::min(earliest, (x.r - 1) * m);
                else if ((mid & 1u) && x.r <= m - 2)
                    earliest = std::min(earliest, x.r * m);
                else if ((down & 1u) && x.r + 1 <= m - 2)
                    earliest = std::min(earliest, (x.r + 1) * m);
            }
            // Entered positions: rows and columns 1 to m - 1.
            if (x.r == 1)
                fresh &= ~0007u;
            if (x.r == m - 1)
                fresh &= ~0700u;
            if (x.c == 1)
                fresh &= ~0111u;
            if (x.c == m - 1)
                fresh &= ~0444u;
        }
        for (; fresh != 0; fresh &= fresh - 1) {
            const int k = std::countr_zero(fresh);
            const int r = x.r + kDr[k];
            const int c = x.c + kDc[k];
            mark(r, c);
            q[n++] = {r, c};
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
    }
    ext = {n, lo, hi};
    return earliest;
}

}  // namespace

bool select_branch_fast(const NetworkBits& net, std::int64_t i, std::int64_t j, BranchWorkspace& ws,
                        BranchMask& branch) {
    const int m = ws.m_;
    const int h = half_side(m);
    assert(i - h >= 0 && j - h >= 0 && i + h < net.rows() && j + h < net.cols());
    assert(branch.win_size() == m && branch.size() == 0);
    // Rows 0 to m of the window: a traversal reads one row beyond the last it enters.
    const auto cells = static_cast<std::size_t>((m + 1) * net.words());
    if (ws.visited_.size() != cells)
        ws.visited_.assign(cells, 0);
    const Tracer t{net.row(i - h), ws.visited_.data(), net.words(), j - h, ws.queue_.data(), m};
    const auto visited = [&](int r, int c) {
        const std::int64_t p = t.col0 + c;
        return (t.visited[r * t.words + (p >> 6)] >> (p & 63)) & 1u;
    };

    Extent ext{0, m, 0};
    const int taker = trace_component(t, ext, h, h);
    if (ext.n > 1) {
        const int sr = taker / m;
        const int sc = taker % m;
        if (sr == 0 || sc == 0) {
            // A row-0/column-0 seed takes the centre's component, and with it every component
            // next to it whose first event it is.
            for (int r = std::max(sr - 1, 1); r <= sr + 1; ++r)
                for (int c = std::max(sc - 1, 1); c <= sc + 1; ++c) {
                    if (visited(r, c) || !net.test(i - h + r, j - h + c))
                        continue;
                    const std::size_t mark = ext.n;
                    if (trace_component(t, ext, r, c) != taker)
                        ext.n = mark;
                }
            t.q[ext.n++] = {sr, sc};
        }
        for (std::size_t e = 0; e < ext.n; ++e)
            branch.set(t.q[e].r, t.q[e].c);
    }
    // Unmark the rows the traversal went through, over the window's columns.
    const std::int64_t w_lo = (j - h) >> 6;
    const std::int64_t w_hi = (j + h) >> 6;
    for (int r = ext.lo; r <= ext.hi; ++r)
        std::fill(t.visited + r * t.words + w_lo, t.visited + r * t.words + w_hi + 1, 0);
    return ext.n > 1;
}

namespace {

constexpr int kPop3[8] = {0, 1, 1, 2, 1, 2, 2, 3};

}  // namespace

int count_confluences_fast(const BranchMask& branch, BranchWorkspace& ws) {
    const int m = ws.m_;
    assert(branch.win_size() == m);
    // `marked` holds the branch cells that still count as neighbours.
    BranchMask& marked = ws.marked_;
    marked.copy_from(branch);
    int crossing = 0;
    const int words = branch.words();
    for (int r = std::max(branch.first_row(), 1); r <= std::min(branch.last_row(), m - 2); ++r) {
        const std::uint64_t* up = marked.row(r - 1);
        const std::uint64_t* mid = marked.row(r);
        const std::uint64_t* down = marked.row(r + 1);
        const std::uint64_t* w = branch.row(r);
        for (int k = 0; k < words; ++k) {
            for (std::uint64_t x = w[k]; x != 0; x &= x - 1) {
                const int c = k * 64 + std::countr_zero(x);
                if (c < 1 || c > m - 2)
                    continue;
                const BitCursor at(c - 1);
                const int neighbours = kPop3[three_bits(up, at)] + kPop3[three_bits(mid, at) & 5u] +
                                       kPop3[three_bits(down, at)];
                if (neighbours == 3) {
                    ++crossing;
                    marked.reset(r, c);
                }
            }
        }
    }
    marked.clear();
    return crossing;
}

}  // namespace ds
