#include "taco/branch.h"

#include <bit>
#include <cassert>

#include "lib/window.h"

namespace ds {

BranchMask::BranchMask(int win_size)
    : m_(win_size),
      words_((win_size + 63) / 64),
      bits_(static_cast<std::size_t>(win_size) * static_cast<std::size_t>((win_size + 63) / 64), 0),
      first_(win_size) {}

void BranchMask::set(int r, int c) {
    assert(r >= 0 && r < m_ && c >= 0 && c < m_);
    std::uint64_t& w = row_mut(r)[c >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (c & 63);
    count_ += (w & bit) == 0;
    w |= bit;
    first_ = std::min(first_, r);
    last_ = std::max(last_, r);
}

void BranchMask::reset(int r, int c) {
    assert(r >= 0 && r < m_ && c >= 0 && c < m_);
    std::uint64_t& w = row_mut(r)[c >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (c & 63);
    count_ -= (w & bit) != 0;
    w &= ~bit;
}

void BranchMask::clear() {
    if (first_ <= last_)
        std::fill(row_mut(first_), row_mut(last_) + words_, 0);
    first_ = m_;
    last_ = -1;
    count_ = 0;
}

void BranchMask::cells(std::vector<WindowCell>& out) const {
    out.clear();
    for (int r = first_; r <= last_; ++r) {
        const std::uint64_t* w = row(r);
        for (int k = 0; k < words_; ++k)
            for (std::uint64_t x = w[k]; x != 0; x &= x - 1)
                out.push_back({r, k * 64 + std::countr_zero(x)});
    }
}

void BranchMask::copy_from(const BranchMask& other) {
    assert(other.m_ == m_ && count_ == 0 && first_ > last_);
    if (other.first_ <= other.last_)
        std::copy(other.row(other.first_), other.row(other.last_) + words_, row_mut(other.first_));
    first_ = other.first_;
    last_ = other.last_;
    count_ = other.count_;
}

BranchWorkspace::BranchWorkspace(int win_size)
    : m_(win_size),
      pitch_(win_size + 1),
      stamp_(static_cast<std::size_t>(win_size + 1) * static_cast<std::size_t>(win_size + 1)),
      queue_(static_cast<std::size_t>(win_size) * static_cast<std::size_t>(win_size)),
      marked_(win_size) {
    const auto at = [this](int r, int c) {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(pitch_) +
               static_cast<std::size_t>(c);
    };
    for (int k = 0; k <= m_; ++k) {
        stamp_.block(at(0, k));
        stamp_.block(at(m_, k));
        stamp_.block(at(k, 0));
        stamp_.block(at(k, m_));
    }
}

namespace {

constexpr int kDr[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int kDc[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

// One traversal's view of the window: the raster under it, the stamps and the cell list.
struct Tracer {
    const unsigned char* base;  // window cell (0, 0) in the raster
    std::ptrdiff_t stride;      // raster row length
    std::uint32_t* st;          // stamp of window cell (r, c) at r * pitch + c
    std::ptrdiff_t pitch;
    std::uint32_t seen;  // this traversal's mark
    WindowCell* q;
    int m;
};

// Appends to t.q (from entry n on) the component of (r0, c0) among the cells of rows and
// columns 1 to m-1 and returns its first event in scan order (row-major index): its own first
// cell at a seed position, or a row-0/column-0 seed next to it.
int trace_component(const Tracer t, std::size_t& n_io, int r0, int c0) {
    // Locals, so that the stores into the stamps and the list cannot alias them.
    const unsigned char* const base = t.base;
    const std::ptrdiff_t stride = t.stride;
    std::uint32_t* const st = t.st;
    const std::ptrdiff_t pitch = t.pitch;
    const std::uint32_t seen = t.seen;
    WindowCell* const q = t.q;
    const int m = t.m;
    std::size_t n = n_io;
    std::size_t head = n;

    st[r0 * pitch + c0] = seen;
    q[n++] = {r0, c0};
    int earliest = m * m;
    while (head < n) {
        const WindowCell x = q[head++];
        const int here = x.r <= m - 2 && x.c <= m - 2 ? x.r * m + x.c : m * m;
        earliest = std::min(earliest, here);
        if (x.r == 1)
            for (int c = std::max(x.c - 1, 0); c <= std::min(x.c + 1, m - 2); ++c)
                if (base[c] == 1)
                    earliest = std::min(earliest, c);
        if (x.c == 1)
            for (int r = std::max(x.r - 1, 0); r <= std::min(x.r + 1, m - 2); ++r)
                if (base[r * stride] == 1)
                    earliest = std::min(earliest, r * m);
        std::uint32_t* sx = st + x.r * pitch + x.c;
        const unsigned char* bx = base + x.r * stride + x.c;
        // Blocked positions hold a stamp above every mark: skipped like visited ones.
        unsigned fresh = 0;
        if (x.r < m - 1 && x.c < m - 1) {
#pragma GCC unroll 8
            for (int k = 0; k < 8; ++k) {
                const std::uint64_t stamp = sx[kDr[k] * pitch + kDc[k]];
                const auto open = static_cast<unsigned>((stamp - seen) >> 63);
                const auto on = static_cast<unsigned>(bx[kDr[k] * stride + kDc[k]] == 1);
                fresh |= (open & on) << k;
            }
        } else {
            // The extra row and column lie outside the window: never read the raster there.
            for (int k = 0; k < 8; ++k)
                if (sx[kDr[k] * pitch + kDc[k]] < seen && bx[kDr[k] * stride + kDc[k]] == 1)
                    fresh |= 1u << k;
        }
        for (; fresh != 0; fresh &= fresh - 1) {
            const int k = std::countr_zero(fresh);
            sx[kDr[k] * pitch + kDc[k]] = seen;
            q[n++] = {x.r + kDr[k], x.c + kDc[k]};
        }
    }
    n_io = n;
    return earliest;
}

}  // namespace

bool select_branch_fast(const ByteGrid& tab, std::int64_t i, std::int64_t j, BranchWorkspace& ws,
                        BranchMask& branch) {
    const int m = ws.m_;
    const int h = half_side(m);
    assert(i - h >= 0 && j - h >= 0 && i + h < tab.rows() && j + h < tab.cols());
    assert(branch.win_size() == m && branch.size() == 0);
    const Tracer t{tab.data() + (i - h) * tab.cols() + (j - h),
                   static_cast<std::ptrdiff_t>(tab.cols()),
                   ws.stamp_.data(),
                   ws.pitch_,
                   ws.stamp_.next(1),
                   ws.queue_.data(),
                   m};

    std::size_t n = 0;
    const int taker = trace_component(t, n, h, h);
    if (n == 1)
        return false;
    const int sr = taker / m;
    const int sc = taker % m;
    if (sr == 0 || sc == 0) {
        // A row-0/column-0 seed takes the centre's component, and with it every component
        // next to it whose first event it is.
        for (int r = std::max(sr - 1, 0); r <= sr + 1; ++r)
            for (int c = std::max(sc - 1, 0); c <= sc + 1; ++c) {
                if (t.st[r * t.pitch + c] >= t.seen || t.base[r * t.stride + c] != 1)
                    continue;
                const std::size_t mark = n;
                if (trace_component(t, n, r, c) != taker)
                    n = mark;
            }
        t.q[n++] = {sr, sc};
    }
    for (std::size_t e = 0; e < n; ++e)
        branch.set(t.q[e].r, t.q[e].c);
    return true;
}

namespace {

// Bits c0 to c0 + 2 of a row, c0 + 2 inside the row.
unsigned three_bits(const std::uint64_t* row, int c0) {
    const int w = c0 >> 6;
    const int o = c0 & 63;
    std::uint64_t v = row[w] >> o;
    if (o > 61)
        v |= row[w + 1] << (64 - o);
    return static_cast<unsigned>(v & 7u);
}

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
                const int neighbours = kPop3[three_bits(up, c - 1)] +
                                       kPop3[three_bits(mid, c - 1) & 5u] +
                                       kPop3[three_bits(down, c - 1)];
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
