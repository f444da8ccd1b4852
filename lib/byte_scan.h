// Visiting the few cells of a row that hold one byte value (the network pixels of a raster)
// without testing the others one by one.
#pragma once

#include <cstdint>
#include <cstring>

namespace ds {

// Calls f(c) for every column c from c0 to c1 - 1 whose byte in `row` is `value`, in column
// order. The row may change under f at columns up to c.
template <class F>
void for_each_byte(const unsigned char* row, std::int64_t c0, std::int64_t c1, unsigned char value,
                   F&& f) {
    for (std::int64_t c = c0; c < c1; ++c) {
        const void* hit = std::memchr(row + c, value, static_cast<std::size_t>(c1 - c));
        if (hit == nullptr)
            return;
        c = static_cast<const unsigned char*>(hit) - row;
        f(c);
    }
}

}  // namespace ds
