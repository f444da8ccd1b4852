#include "lib/bits.h"

#include <bit>
#include <cassert>

#include <omp.h>

namespace ds {

BranchMask::BranchMask(int win_size)
    : m_(win_size),
      words_((win_size + 63) / 64),
      // One word of padding after the last row: three_bits reads the word after the one it
      // starts in.
      bits_(static_cast<std::size_t>(win_size) * static_cast<std::size_t>((win_size + 63) / 64) + 1,
            0),
      first_(win_size) {}

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

NetworkBits::NetworkBits(const ByteGrid& tab, int threads)
    : rows_(tab.rows()),
      cols_(tab.cols()),
      words_((tab.cols() + 1 + 63) / 64 + 1),
      bits_(static_cast<std::size_t>((tab.rows() + 1) * words_), 0) {
    const int nt = threads >= 1 ? threads : omp_get_max_threads();
#pragma omp parallel for num_threads(nt) schedule(static)
    for (std::int64_t r = 0; r < rows_; ++r) {
        const unsigned char* in = tab.row(r).data();
        std::uint64_t* out = bits_.data() + r * words_;
        for (std::int64_t w = 0; w * 64 < cols_; ++w) {
            const std::int64_t n = std::min<std::int64_t>(64, cols_ - w * 64);
            std::uint64_t v = 0;
            for (std::int64_t b = 0; b < n; ++b)
                v |= static_cast<std::uint64_t>(in[w * 64 + b] == 1) << b;
            out[w] = v;
        }
    }
}

}  // namespace ds
