#include "fractal/box_count_fast.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "lib/window.h"

namespace ds {

namespace {

// Bits set in x; the hardware instruction where the caller is compiled for it.
template <bool Hw>
inline int popcount(std::uint64_t x) {
    if constexpr (Hw)
        return __builtin_popcountll(x);
    else
        return popcount64(x);
}

void set_bit(std::vector<std::uint64_t>& v, int c) {
    v[static_cast<std::size_t>(c >> 6)] |= std::uint64_t{1} << (c & 63);
}

// y[p] |= y[p + k] for every bit p; bits past the end read as 0. Ascending words only read
// words that are not yet updated. W > 0 fixes the number of words at compile time.
template <int W>
inline void or_shifted(std::uint64_t* y, int words, int k) {
    assert(k >= 1);
    if constexpr (W == 1) {
        y[0] |= y[0] >> k;
    } else if constexpr (W == 2) {
        if (k < 64) {
            y[0] |= (y[0] >> k) | (y[1] << (64 - k));
            y[1] |= y[1] >> k;
        } else {
            y[0] |= y[1] >> (k - 64);
        }
    } else {
        const int nw = W > 0 ? W : words;
        const int q = k >> 6;
        const int r = k & 63;
        const int n = nw - q;  // words that receive bits
        if (r == 0) {
            for (int w = 0; w < n; ++w)
                y[w] |= y[w + q];
        } else {
            for (int w = 0; w + 1 < n; ++w)
                y[w] |= (y[w + q] >> r) | (y[w + q + 1] << (64 - r));
            if (n > 0)
                y[n - 1] |= y[nw - 1] >> r;
        }
    }
}

}  // namespace

BoxCounter::BoxCounter(int m) : sides_(box_sides(m)), m_(m), words_((m_ + 63) / 64) {
#if DRAINSHAPE_POPCNT_CLONE
    popcnt_ = __builtin_cpu_supports("popcnt");
#endif
    const auto side = [this](int k) { return sides_.n[static_cast<std::size_t>(k) + 1]; };
    assert(side(0) == 1);
    const auto uw = static_cast<std::size_t>(words_);
    for (int b = 0; b < 2; ++b) {
        auto& sq = square_[static_cast<std::size_t>(b)];
        sq.assign(uw, 0);
        for (int c = b; c <= b + m_ - 2; ++c)
            set_bit(sq, c);
        for (int k = 1; k < sides_.max_m; ++k) {
            auto& st = starts_[static_cast<std::size_t>(b)][static_cast<std::size_t>(k)];
            st.assign(uw, 0);
            for (int c = b; c <= b + m_ - 2; c += side(k))
                set_bit(st, c);
        }
    }
    for (int k = 1; k < sides_.max_m; ++k) {
        // The largest smaller side that divides this one has the fewest bands to merge.
        int src = 0;
        for (int d = 0; d < k; ++d)
            if (side(k) % side(d) == 0)
                src = d;
        const auto uk = static_cast<std::size_t>(k);
        source_[uk] = src;
        // A source band, smeared over its side d, is spread over the f = s / d boxes of d that
        // make one box of s: shifts by multiples of d, doubling, then the rest.
        Smear& sm = smear_[uk];
        const int d = side(src);
        const int f = side(k) / d;
        sm.factor = f;
        int covered = 1;
        while (2 * covered <= f) {
            sm.shift[static_cast<std::size_t>(sm.steps++)] = covered * d;
            covered *= 2;
        }
        if (covered < f)
            sm.shift[static_cast<std::size_t>(sm.steps++)] = (f - covered) * d;
        bands_[static_cast<std::size_t>(k)].assign(
            static_cast<std::size_t>((m_ - 1) / side(k)) * uw, 0);
    }
    for (int k = 0; k < sides_.max_m; ++k) {
        auto& q = quot_[static_cast<std::size_t>(k)];
        q.resize(static_cast<std::size_t>(m_));
        for (int x = 0; x < m_; ++x)
            q[static_cast<std::size_t>(x)] = x / side(k);
    }
    // Counts never exceed the cells of a placement square; past a few thousand, compute.
    const std::int64_t most = static_cast<std::int64_t>(m_ - 1) * (m_ - 1);
    log_count_.resize(static_cast<std::size_t>(std::min<std::int64_t>(most, 1 << 14) + 1));
    for (std::size_t k = 0; k < log_count_.size(); ++k)
        log_count_[k] = std::log(static_cast<double>(static_cast<int>(k) + 1));
}

template <int W, bool Hw>
[[gnu::always_inline]] inline BoxCounts BoxCounter::count_words(const BranchMask& branch) {
    BoxCounts itot{};
    const int words = W > 0 ? W : words_;
    const int m = m_;

    // Side 1: the cells of each square, from the cells left out of it.
    const int first = branch.first_row();
    const int last = branch.last_row();
    const std::size_t end_word = static_cast<std::size_t>((m - 1) >> 6);
    const int end_bit = (m - 1) & 63;
    int in_col0 = 0;
    int in_col_end = 0;
    for (int r = first; r <= last; ++r) {
        const std::uint64_t* row = branch.row(r);
        in_col0 += static_cast<int>(row[0] & 1u);
        in_col_end += static_cast<int>((row[end_word] >> end_bit) & 1u);
    }
    const auto row_cells = [&](int r) {
        if (r < first || r > last)
            return 0;
        const std::uint64_t* row = branch.row(r);
        int n = 0;
        for (int w = 0; w < words; ++w)
            n += popcount<Hw>(row[w]);
        return n;
    };
    const int in_row0 = row_cells(0);
    const int in_row_end = row_cells(m - 1);
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
            const int row_out = a == 0 ? m - 1 : 0;
            const int col_out = b == 0 ? m - 1 : 0;
            const int corner = row_out >= first && row_out <= last && branch.test(row_out, col_out);
            itot[static_cast<std::size_t>(2 * a + b)][0] = branch.size() -
                                                           (a == 0 ? in_row_end : in_row0) -
                                                           (b == 0 ? in_col_end : in_col0) + corner;
        }

    for (int a = 0; a < 2; ++a) {
        // Rows of the square, relative to its first row, that hold any branch cell.
        const int lo = std::max(first - a, 0);
        const int hi = std::min(last - a, m - 2);
        if (lo > hi)
            continue;
        auto& count0 = itot[static_cast<std::size_t>(2 * a)];
        auto& count1 = itot[static_cast<std::size_t>(2 * a + 1)];
        for (int k = 1; k < sides_.max_m; ++k) {
            const auto uk = static_cast<std::size_t>(k);
            const auto src = static_cast<std::size_t>(source_[uk]);
            const Smear& sm = smear_[uk];
            const int f = sm.factor;
            const int b_lo = quot_[uk][static_cast<std::size_t>(lo)];
            const int n_bands = quot_[uk][static_cast<std::size_t>(hi)] - b_lo + 1;
            // Bit p of a band: any branch cell in its rows and in columns p to p + s - 1.
            std::uint64_t* band = bands_[uk].data() + static_cast<std::ptrdiff_t>(b_lo) * words;
            // Source bands outside the rows of the branch are zero: rows of the mask by
            // construction, bands because every count leaves them zero again.
            const std::uint64_t* part = (src == 0 ? branch.row(a) : bands_[src].data()) +
                                        static_cast<std::ptrdiff_t>(b_lo) * f * words;
            // One pass over the bands per step keeps the loops long.
            for (int B = 0; B < n_bands; ++B)
                for (int w = 0; w < words; ++w)
                    band[B * words + w] = part[B * f * words + w];
            for (int t = 1; t < f; ++t)
                for (int B = 0; B < n_bands; ++B)
                    for (int w = 0; w < words; ++w)
                        band[B * words + w] |= part[(B * f + t) * words + w];
            for (int e = 0; e < sm.steps; ++e) {
                const int shift = sm.shift[static_cast<std::size_t>(e)];
                for (int B = 0; B < n_bands; ++B)
                    or_shifted<W>(band + B * words, words, shift);
            }
            // A box of either column offset covers only columns of its square.
            const std::uint64_t* start0 = starts_[0][uk].data();
            const std::uint64_t* start1 = starts_[1][uk].data();
            int n0 = 0;
            int n1 = 0;
            for (int B = 0; B < n_bands; ++B)
                for (int w = 0; w < words; ++w) {
                    n0 += popcount<Hw>(band[B * words + w] & start0[w]);
                    n1 += popcount<Hw>(band[B * words + w] & start1[w]);
                }
            count0[uk] = n0;
            count1[uk] = n1;
        }
        for (int k = 1; k < sides_.max_m; ++k) {
            const auto uk = static_cast<std::size_t>(k);
            std::uint64_t* bands = bands_[uk].data();
            const int b_lo = quot_[uk][static_cast<std::size_t>(lo)];
            const int b_hi = quot_[uk][static_cast<std::size_t>(hi)];
            std::fill(bands + static_cast<std::ptrdiff_t>(b_lo) * words,
                      bands + static_cast<std::ptrdiff_t>(b_hi + 1) * words, 0);
        }
    }
    return itot;
}

// Inlined into its callers, so that the popcount clone compiles it for that instruction.
template <bool Hw>
[[gnu::always_inline]] inline BoxCounts BoxCounter::count_any(const BranchMask& branch) {
    switch (words_) {
        case 1:
            return count_words<1, Hw>(branch);
        case 2:
            return count_words<2, Hw>(branch);
        case 3:
            return count_words<3, Hw>(branch);
        case 4:
            return count_words<4, Hw>(branch);
        case 11:
            return count_words<11, Hw>(branch);
        default:
            return count_words<0, Hw>(branch);
    }
}

#if DRAINSHAPE_POPCNT_CLONE
__attribute__((target("popcnt"))) BoxCounts BoxCounter::count_popcnt(const BranchMask& branch) {
    return count_any<true>(branch);
}
#endif

BoxCounts BoxCounter::count(const BranchMask& branch) {
    assert(branch.win_size() == m_);
#if DRAINSHAPE_POPCNT_CLONE
    if (popcnt_)
        return count_popcnt(branch);
#endif
    return count_any<false>(branch);
}

FractResult BoxCounter::fract(const BoxCounts& itot) const {
    BoxOrdinates yy{};
    for (std::size_t p = 0; p < 4; ++p)
        for (int k = 0; k < sides_.max_m; ++k) {
            const auto uk = static_cast<std::size_t>(k);
            const int c = itot[p][uk];
            yy[p][uk] = static_cast<std::size_t>(c) < log_count_.size()
                            ? log_count_[static_cast<std::size_t>(c)]
                            : std::log(static_cast<double>(c + 1));
        }
    return fract_from_ordinates(sides_, yy);
}

}  // namespace ds
