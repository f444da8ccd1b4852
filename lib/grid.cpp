#include "lib/grid.h"

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ds::detail {

#if defined(__linux__)

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The length of the mapping of `bytes`: whole huge pages.
std::size_t rounded(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* map_block(std::size_t bytes) {
    const std::size_t len = rounded(bytes);
    // One huge page more than needed, so that an aligned start lies inside; the rest goes back.
    void* raw =
        mmap(nullptr, len + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (base + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = base + len + kHugePage;
    if (start > base)
        munmap(raw, start - base);
    if (end > start + len)
        munmap(reinterpret_cast<void*>(start + len), end - (start + len));
    // Only hints. Huge pages for the whole huge pages of the block; a last, partial one would
    // be resident in full, so it gets one only when that costs little: when it is at least half
    // full (it wastes at most what it holds), or when the block is smaller than one (at most
    // 1.5 MiB more, where its 128 to 511 small pages, faulted in one by one at some 10 us each
    // on a virtual machine, would cost milliseconds). A tail left on small pages is mapped at
    // once, which is cheaper than page by page.
    const std::size_t tail = bytes % kHugePage;
    const std::size_t huge = tail >= kHugePage / 2 || bytes < kHugePage ? len : bytes - tail;
    if (huge > 0)
        madvise(reinterpret_cast<void*>(start), huge, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    if (huge < bytes)
        madvise(reinterpret_cast<void*>(start + huge), bytes - huge, MADV_POPULATE_WRITE);
#endif
    return reinterpret_cast<void*>(start);
}

void unmap_block(void* p, std::size_t bytes) {
    munmap(p, rounded(bytes));
}

#else

void* map_block(std::size_t bytes) {
    return std::memset(::operator new(bytes), 0, bytes);
}

void unmap_block(void* p, std::size_t) {
    ::operator delete(p);
}

#endif

}  // namespace ds::detail
