// Grids and vectors under every raster and window of a run.
//
// A grid is one flat, row-major, zero-filled buffer with 64-bit sizes; every row is a contiguous
// block, so images move a whole row at once. The allocator family keeps its historical names
// (element type in the prefix, columns before lines) and reports failure by throwing
// GridAllocError, which the entry turns into a message and an exit status.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace ds {

namespace detail {
// Blocks of kMappedBytes and more are mapped apart, aligned on 2 MiB and marked for transparent
// huge pages, so that a raster's grids fault in one page per 2 MiB instead of one per 4 KiB (a
// fault is dear, on virtual machines above all). Their memory comes zero-filled. Throw
// std::bad_alloc when the memory is refused.
inline constexpr std::size_t kMappedBytes = std::size_t{512} << 10;
void* map_block(std::size_t bytes);
void unmap_block(void* p, std::size_t bytes);
}  // namespace detail

// The allocator of the cells of a grid. Its blocks come zero-filled (a fresh mapping already is,
// so a large grid is not written twice before its first use), and a cell constructed without a
// value keeps that zero.
template <class T>
struct GridAllocator {
    using value_type = T;
    GridAllocator() = default;
    template <class U>
    GridAllocator(const GridAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n * sizeof(T) >= detail::kMappedBytes)
            return static_cast<T*>(detail::map_block(n * sizeof(T)));
        T* p = std::allocator<T>().allocate(n);
        std::memset(static_cast<void*>(p), 0, n * sizeof(T));
        return p;
    }
    template <class U>
    void construct(U* p) {
        static_assert(std::is_trivially_default_constructible_v<U>);
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    void deallocate(T* p, std::size_t n) {
        if (n * sizeof(T) >= detail::kMappedBytes)
            detail::unmap_block(p, n * sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const GridAllocator<U>&) const {
        return true;
    }
};

// Thrown when a grid or vector cannot be allocated: sizes of zero or below, a cell count that
// overflows, or memory that the system refuses.
class GridAllocError : public std::runtime_error {
  public:
    GridAllocError(std::int64_t lines, std::int64_t columns, const std::string& why)
        : std::runtime_error(why), lines_(lines), columns_(columns) {}
    std::int64_t lines() const { return lines_; }
    std::int64_t columns() const { return columns_; }

  private:
    std::int64_t lines_;
    std::int64_t columns_;
};

template <class T>
class Grid {
  public:
    using value_type = T;

    Grid() = default;
    // `lines` x `columns` cells, all zero. Throws GridAllocError.
    Grid(std::int64_t lines, std::int64_t columns) : rows_(lines), cols_(columns) {
        if (lines <= 0 || columns <= 0)
            throw GridAllocError(lines, columns, "grid dimensions must be positive");
        const auto max_cells = static_cast<std::int64_t>(
            std::numeric_limits<std::ptrdiff_t>::max() / static_cast<std::ptrdiff_t>(sizeof(T)));
        if (lines > max_cells / columns)
            throw GridAllocError(lines, columns, "grid cell count overflows");
        try {
            // Zero-filled by the allocator.
            cells_ = std::vector<T, GridAllocator<T>>(static_cast<std::size_t>(lines * columns));
        } catch (const std::bad_alloc&) {
            throw GridAllocError(lines, columns, "not enough memory");
        } catch (const std::length_error&) {
            throw GridAllocError(lines, columns, "not enough memory");
        }
    }

    std::int64_t rows() const { return rows_; }
    std::int64_t cols() const { return cols_; }
    bool empty() const { return cells_.empty(); }
    std::int64_t size() const { return rows_ * cols_; }

    T& operator()(std::int64_t r, std::int64_t c) {
        assert(r >= 0 && r < rows_ && c >= 0 && c < cols_);
        return cells_[static_cast<std::size_t>(r * cols_ + c)];
    }
    const T& operator()(std::int64_t r, std::int64_t c) const {
        assert(r >= 0 && r < rows_ && c >= 0 && c < cols_);
        return cells_[static_cast<std::size_t>(r * cols_ + c)];
    }

    std::span<T> row(std::int64_t r) {
        assert(r >= 0 && r < rows_);
        return {cells_.data() + r * cols_, static_cast<std::size_t>(cols_)};
    }
    std::span<const T> row(std::int64_t r) const {
        assert(r >= 0 && r < rows_);
        return {cells_.data() + r * cols_, static_cast<std::size_t>(cols_)};
    }

    T* data() { return cells_.data(); }
    const T* data() const { return cells_.data(); }

    void fill(T v) { std::fill(cells_.begin(), cells_.end(), v); }

    bool operator==(const Grid& o) const = default;

  private:
    std::int64_t rows_ = 0;
    std::int64_t cols_ = 0;
    std::vector<T, GridAllocator<T>> cells_;
};

// Throws std::invalid_argument(`what`) unless the two grids have the same lines and columns.
template <class A, class B>
void require_same_shape(const Grid<A>& a, const Grid<B>& b, const char* what) {
    if (a.rows() != b.rows() || a.cols() != b.cols())
        throw std::invalid_argument(what);
}

// Rows begin to end - 1 of a raster or grid; empty when end <= begin.
struct RowRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;

    std::int64_t size() const { return end > begin ? end - begin : 0; }
    bool empty() const { return end <= begin; }
    // The same rows counted from `origin`.
    RowRange from(std::int64_t origin) const { return {begin - origin, end - origin}; }
    bool operator==(const RowRange&) const = default;
};

// The rows in both.
inline RowRange common_rows(RowRange a, RowRange b) {
    return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}

// Copies the raster's rows `rows` from `from`, which holds the raster's rows from `from_first`
// on, into `to`, which holds them from `to_first` on; the grids have the same width.
template <class T>
void copy_rows(const Grid<T>& from, std::int64_t from_first, Grid<T>& to, std::int64_t to_first,
               RowRange rows) {
    for (std::int64_t r = rows.begin; r < rows.end; ++r) {
        const auto src = from.row(r - from_first);
        std::copy(src.begin(), src.end(), to.row(r - to_first).begin());
    }
}

using ByteGrid = Grid<unsigned char>;
using IntGrid = Grid<int>;
using RealGrid = Grid<double>;
using FloatGrid = Grid<float>;

}  // namespace ds
