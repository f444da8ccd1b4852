#include "network/draw_lines.h"

#include <cmath>
#include <utility>

namespace ds {

namespace {

// The index of the pixel that holds coordinate `v`, clamped to [lo, hi] so that points far off
// the raster stay representable (what lies outside is not drawn anyway).
std::int64_t cell(double v, std::int64_t lo, std::int64_t hi) {
    const double f = std::floor(v);
    if (!(f >= static_cast<double>(lo)))  // NaN too
        return lo;
    if (f > static_cast<double>(hi))
        return hi;
    return static_cast<std::int64_t>(f);
}

// Sets pixel (major, minor) of the segment's own axes.
struct Plotter {
    ByteGrid& raster;
    bool column_major;  // the major axis runs along the columns
    void operator()(std::int64_t major, std::int64_t minor) const {
        const std::int64_t r = column_major ? minor : major;
        const std::int64_t c = column_major ? major : minor;
        if (r >= 0 && c >= 0 && r < raster.rows() && c < raster.cols())
            raster(r, c) = 1;
    }
};

// The segment from (u0, v0) to (u1, v1) in pixel coordinates (u along the columns, v along the
// rows), drawn from its lower major coordinate up so that both directions give the same pixels.
void draw_segment(ByteGrid& raster, double u0, double v0, double u1, double v1) {
    const bool column_major = std::fabs(u1 - u0) >= std::fabs(v1 - v0);
    double a0 = column_major ? u0 : v0;
    double b0 = column_major ? v0 : u0;
    double a1 = column_major ? u1 : v1;
    double b1 = column_major ? v1 : u1;
    if (a1 < a0) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    const std::int64_t major_size = column_major ? raster.cols() : raster.rows();
    const std::int64_t minor_size = column_major ? raster.rows() : raster.cols();
    const Plotter plot{raster, column_major};
    const auto minor_cell = [&](double b) { return cell(b, -2, minor_size + 1); };

    const double first = std::floor(a0);
    const double last = std::floor(a1);
    const double slope = a1 > a0 ? (b1 - b0) / (a1 - a0) : 0.0;
    const std::int64_t from = cell(a0, -1, major_size);
    const std::int64_t to = cell(a1, -1, major_size);
    std::int64_t previous = 0;
    for (std::int64_t k = from; k <= to; ++k) {
        const double kd = static_cast<double>(k);
        std::int64_t m;
        if (kd == first)
            m = minor_cell(b0);
        else if (kd == last)
            m = minor_cell(b1);
        else
            m = minor_cell(b0 + (kd + 0.5 - a0) * slope);
        // Next to a vertex the path may step two pixels aside: fill the step.
        if (k > from && (m - previous > 1 || previous - m > 1)) {
            const std::int64_t step = m > previous ? 1 : -1;
            for (std::int64_t t = previous + step; t != m; t += step)
                plot(k, t);
        }
        plot(k, m);
        if (kd == first && kd == last) {
            m = minor_cell(b1);
            plot(k, m);
        }
        previous = m;
    }
}

}  // namespace

std::int64_t draw_lines(const std::vector<Polyline>& lines, const GridFrame& frame,
                        ByteGrid& raster) {
    std::int64_t segments = 0;
    for (const Polyline& line : lines) {
        bool have_previous = false;
        double pu = 0;
        double pv = 0;
        for (const XY& p : line) {
            const double u = (p.x - frame.x0) / frame.dx;
            const double v = (p.y - frame.y0) / frame.dy;
            if (!std::isfinite(u) || !std::isfinite(v)) {
                have_previous = false;
                continue;
            }
            if (have_previous) {
                draw_segment(raster, pu, pv, u, v);
                ++segments;
            } else {
                draw_segment(raster, u, v, u, v);
            }
            pu = u;
            pv = v;
            have_previous = true;
        }
    }
    return segments;
}

}  // namespace ds
