// Times each step from an elevation model to its stream cells on a large synthetic DEM: the
// real DEM of tests/data stretched bilinearly to SIDE x SIDE cells of 7.5 m, roughened with
// a few metres of value noise and rounded to half metres (so that it has pits and flats), with
// a sea of NoData in one corner. The DEM is written once as a Float32 GeoTIFF to PATH, then
// read back and processed RUNS times; each step's minimum and median are printed.
//
//   drainshape_dem_bench [PATH [SIDE [RUNS [THRESHOLD_CELLS]]]]
//   defaults: /tmp/drainshape_dem_bench.tif 4000 3 1000
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "dem/streams.h"
#include "gis/dem_raster.h"

namespace ds {
namespace {

// A value in [-1, 1] from integer lattice coordinates, the same on every machine.
double lattice(std::int64_t x, std::int64_t y, std::uint64_t seed) {
    std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full ^ seed;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

// Bilinear value noise of one period in cells.
double value_noise(double r, double c, double period, std::uint64_t seed) {
    const double y = r / period, x = c / period;
    const auto y0 = static_cast<std::int64_t>(std::floor(y));
    const auto x0 = static_cast<std::int64_t>(std::floor(x));
    const double fy = y - static_cast<double>(y0), fx = x - static_cast<double>(x0);
    const double top = lattice(x0, y0, seed) * (1 - fx) + lattice(x0 + 1, y0, seed) * fx;
    const double bottom = lattice(x0, y0 + 1, seed) * (1 - fx) + lattice(x0 + 1, y0 + 1, seed) * fx;
    return top * (1 - fy) + bottom * fy;
}

DemRaster make_dem(const DemRaster& real, int side) {
    DemRaster out;
    out.dem.z = RealGrid(side, side);
    out.dem.nodata = ByteGrid(side, side);
    const double sr = static_cast<double>(real.dem.z.rows() - 1) / (side - 1);
    const double sc = static_cast<double>(real.dem.z.cols() - 1) / (side - 1);
#pragma omp parallel for schedule(static)
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            const double y = r * sr, x = c * sc;
            const int y0 = std::min<int>(static_cast<int>(y), real.dem.z.rows() - 2);
            const int x0 = std::min<int>(static_cast<int>(x), real.dem.z.cols() - 2);
            const double fy = y - y0, fx = x - x0;
            const auto& z = real.dem.z;
            double v = (z(y0, x0) * (1 - fx) + z(y0, x0 + 1) * fx) * (1 - fy) +
                       (z(y0 + 1, x0) * (1 - fx) + z(y0 + 1, x0 + 1) * fx) * fy;
            double amplitude = 2.0;
            for (double period = 64; period >= 4; period /= 2, amplitude /= 2)
                v += amplitude * value_noise(r, c, period, static_cast<std::uint64_t>(period));
            out.dem.z(r, c) = std::round(v * 2) / 2;
            // The sea: a quarter disc in the south-west corner.
            out.dem.nodata(r, c) = std::hypot(side - 1 - r, c) < side / 4.0 ? 1 : 0;
        }
    out.geo.transform = std::array<double, 6>{500000, 7.5, 0, 4070000, 0, -7.5};
    out.geo.projection = crs_wkt("EPSG:32616");
    return out;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

int run(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "/tmp/drainshape_dem_bench.tif";
    const int side = argc > 2 ? std::atoi(argv[2]) : 4000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::uint64_t threshold = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1000;
    if (side < 2 || runs < 1 || threshold < 1) {
        std::fprintf(stderr, "usage: drainshape_dem_bench [PATH [SIDE [RUNS [THRESHOLD]]]]\n");
        return 2;
    }
    {
        const DemRaster real =
            read_dem(std::string(DRAINSHAPE_SOURCE_DIR) + "/tests/data/jacksboro_fault_dem.tif");
        const DemRaster big = make_dem(real, side);
        write_elevation_geotiff(path, big.dem.z, big.dem.nodata, big.geo, {});
    }
    std::printf("%s: %d x %d cells, threshold %llu cells, %d threads, %d runs\n", path.c_str(),
                side, side, static_cast<unsigned long long>(threshold), omp_get_max_threads(),
                runs);

    std::map<std::string, std::vector<double>> times;
    std::vector<std::string> order;
    const auto record = [&](const std::string& step, double s) {
        if (!times.count(step))
            order.push_back(step);
        times[step].push_back(s);
    };
    for (int k = 0; k < runs; ++k) {
        auto t = std::chrono::steady_clock::now();
        DemRaster dem = read_dem(path);
        record("read", seconds_since(t));
        const Drainage d = extract_streams(std::move(dem.dem), threshold);
        for (const StepTime& s : d.times)
            record(s.step, s.seconds);
        t = std::chrono::steady_clock::now();
        write_elevation_geotiff(path + ".filled.tif", d.filled, d.nodata, dem.geo, {});
        write_geotiff(path + ".dir.tif", d.direction, dem.geo, {});
        write_count_geotiff(path + ".acc.tif", d.accumulation, dem.geo, {});
        record("write intermediates", seconds_since(t));
        if (k == 0) {
            std::int64_t streams = 0;
            for (std::int64_t i = 0; i < d.streams.size(); ++i)
                streams += d.streams.data()[i];
            std::printf("raised %lld cells, drained %lld flat cells, %lld stream cells\n",
                        static_cast<long long>(d.raised_cells),
                        static_cast<long long>(d.flat_cells), static_cast<long long>(streams));
        }
    }
    double chain = 0;
    std::printf("%-20s %8s %8s\n", "step", "min s", "median s");
    for (const std::string& step : order) {
        std::vector<double> v = times[step];
        std::sort(v.begin(), v.end());
        const double median = v[v.size() / 2];
        if (step != "write intermediates")
            chain += median;
        std::printf("%-20s %8.2f %8.2f\n", step.c_str(), v.front(), median);
    }
    std::printf("%-20s %8s %8.2f\n", "read to streams", "", chain);
    return 0;
}

}  // namespace
}  // namespace ds

int main(int argc, char** argv) {
    try {
        return ds::run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drainshape_dem_bench: %s\n", e.what());
        return 1;
    }
}
