// One pass counts values, neighbourhoods, blocks and the Euler number of the network; one
// flood fill over the network pixels (not the background) counts its components. The loops
// follow from both: for an 8-connected set with a 4-connected background, the Euler number is
// the number of components minus the number of holes, and it is counted from the 2 x 2
// windows of the raster (Gray's bit quads): (windows with one network pixel - windows with
// three - 2 x windows with two on a diagonal) / 4, over every window that overlaps the raster.
#include "network/summary.h"

#include <algorithm>
#include <vector>

#include "lib/byte_scan.h"
#include "network/simple_point.h"

namespace ds {

namespace {

unsigned char at(const ByteGrid& g, std::int64_t r, std::int64_t c) {
    return r >= 0 && c >= 0 && r < g.rows() && c < g.cols() && g(r, c) == 1 ? 1 : 0;
}

// Quad counts of the four 2 x 2 windows around (r, c) that have (r, c) as their first network
// pixel (top left, top right, bottom left, bottom right), so that each window counts once.
void count_quads(const ByteGrid& g, std::int64_t r, std::int64_t c, std::int64_t& euler4) {
    for (int wr = -1; wr <= 0; ++wr)
        for (int wc = -1; wc <= 0; ++wc) {
            const std::int64_t r0 = r + wr;
            const std::int64_t c0 = c + wc;
            const unsigned char q[4] = {at(g, r0, c0), at(g, r0, c0 + 1), at(g, r0 + 1, c0),
                                        at(g, r0 + 1, c0 + 1)};
            const int self = (-wr) * 2 + (-wc);
            bool first = true;
            for (int k = 0; k < self; ++k)
                first = first && q[k] == 0;
            if (!first)
                continue;
            const int n = q[0] + q[1] + q[2] + q[3];
            if (n == 1)
                euler4 += 1;
            else if (n == 3)
                euler4 -= 1;
            else if (n == 2 && q[0] == q[3])
                euler4 -= 2;
        }
}

}  // namespace

NetworkSummary summarize_network(const ByteGrid& raster) {
    NetworkSummary s;
    s.lines = raster.rows();
    s.columns = raster.cols();
    std::int64_t euler4 = 0;
    for (std::int64_t r = 0; r < raster.rows(); ++r) {
        const auto row = raster.row(r);
        for (std::int64_t c = 0; c < raster.cols(); ++c) {
            const unsigned char v = row[static_cast<std::size_t>(c)];
            if (v == 0) {
                ++s.zeros;
                continue;
            }
            if (v != 1) {
                ++s.others;
                continue;
            }
            ++s.ones;
            const unsigned code = neighbour_code(raster, r, c);
            const int n = neighbour_count(code);
            s.isolated += n == 0;
            s.ends += n == 1;
            s.junctions += n >= 3;
            s.redundant += is_redundant(code);
            s.blocks += at(raster, r, c + 1) && at(raster, r + 1, c) && at(raster, r + 1, c + 1);
            count_quads(raster, r, c, euler4);
        }
    }

    ByteGrid seen(raster.rows(), raster.cols());
    std::vector<std::int64_t> stack;
    for (std::int64_t r = 0; r < raster.rows(); ++r)
        for (std::int64_t c = 0; c < raster.cols(); ++c) {
            if (raster(r, c) != 1 || seen(r, c) != 0)
                continue;
            std::int64_t size = 0;
            seen(r, c) = 1;
            stack.push_back(r * raster.cols() + c);
            while (!stack.empty()) {
                const std::int64_t i = stack.back();
                stack.pop_back();
                ++size;
                const std::int64_t pr = i / raster.cols();
                const std::int64_t pc = i % raster.cols();
                for (int k = 0; k < 8; ++k) {
                    const std::int64_t nr = pr + kNeighbourRow[k];
                    const std::int64_t nc = pc + kNeighbourCol[k];
                    if (at(raster, nr, nc) && seen(nr, nc) == 0) {
                        seen(nr, nc) = 1;
                        stack.push_back(nr * raster.cols() + nc);
                    }
                }
            }
            ++s.components;
            s.largest_component = std::max(s.largest_component, size);
            s.small_components += size <= 2;
        }
    s.loops = s.components - euler4 / 4;
    return s;
}

std::int64_t count_redundant(const ByteGrid& raster) {
    return count_redundant(raster, {0, raster.rows()});
}

std::int64_t count_redundant(const ByteGrid& raster, RowRange rows) {
    std::int64_t n = 0;
    for (std::int64_t r = std::max<std::int64_t>(rows.begin, 0);
         r < std::min(rows.end, raster.rows()); ++r)
        for_each_byte(raster.row(r).data(), 0, raster.cols(), 1, [&](std::int64_t c) {
            if (is_redundant(neighbour_code(raster, r, c)))
                ++n;
        });
    return n;
}

}  // namespace ds
