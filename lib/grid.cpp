#include "lib/grid.h"

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ds::detail {

#if defined(__linux__)

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The length of the mapping of `bytes`: whole pages of the system.
std::size_t rounded(std::size_t bytes) {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
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
    // Only a hint: without huge pages the block is an ordinary mapping. The whole huge pages
    // only: a last, partial one would be resident in full, up to 2 MiB more per grid.
    if (const std::size_t huge = len / kHugePage * kHugePage; huge > 0)
        madvise(reinterpret_cast<void*>(start), huge, MADV_HUGEPAGE);
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
