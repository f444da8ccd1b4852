// A parallel loop over items (rows, row blocks) that reports completion in order.
//
// Items go to the threads one at a time. The calling thread, which is thread 0 of the team, tells
// `done` how far the finished prefix reaches each time it grows, so that progress lines come in
// increasing order and from one thread; `done` may throw to stop the loop (a cancelled run). The
// first exception, from an item or from `done`, stops every item not yet started and is rethrown
// on the calling thread once the team has finished.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

namespace ds {

// Runs body(thread, k) for k = 0 to n - 1 on `threads` threads (below 1 acts as 1), `thread` from
// 0 to threads - 1; calls done(frontier) on the calling thread with the number of leading items
// known to be finished, whenever it grows, ending with n.
template <class Body, class Done>
void ordered_items(std::int64_t n, int threads, Body&& body, Done&& done) {
    if (n <= 0)
        return;
    threads = std::max(threads, 1);
    const auto finished = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(n));
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::int64_t frontier = 0;
    const auto fail = [&] {
#pragma omp critical(ordered_items_failure)
        if (!failure)
            failure = std::current_exception();
        stop.store(true);
    };
    const auto advance = [&] {
        const std::int64_t before = frontier;
        while (frontier < n && finished[static_cast<std::size_t>(frontier)].load())
            ++frontier;
        if (frontier == before || stop.load())
            return;
        try {
            done(frontier);
        } catch (...) {
            fail();
        }
    };

#pragma omp parallel num_threads(threads) if (threads > 1)
    {
        const int t = omp_get_thread_num();
#pragma omp for schedule(dynamic, 1) nowait
        for (std::int64_t k = 0; k < n; ++k) {
            if (!stop.load()) {
                try {
                    body(t, k);
                } catch (...) {
                    fail();
                }
            }
            finished[static_cast<std::size_t>(k)].store(true);
            if (t == 0)
                advance();
        }
    }
    advance();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace ds
