// `prepare --from-dem` on the real DEM of tests/data, through the command's own function: what
// the way from an elevation model to a prepared network file can break. The hydrology itself is
// tested on synthetic models in dem_test.cpp.
#include <gtest/gtest.h>

#if DRAINSHAPE_WITH_GDAL

#include <gdal.h>
#include <omp.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "app/prepare_command.h"
#include "gis/dem_raster.h"
#include "network/summary.h"
#include "prepare/dem_streams.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

namespace fs = std::filesystem;

const std::string kJacksboro =
    std::string(DRAINSHAPE_SOURCE_DIR) + "/tests/data/jacksboro_fault_dem.tif";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result prepare(const PrepareOptions& o) {
    std::ostringstream out, err;
    Result r;
    r.status = prepare_command(o, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

PrepareOptions from_dem(const std::string& out) {
    PrepareOptions o;
    o.source = kJacksboro;
    o.out = out;
    o.from_dem = true;
    return o;
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename());
    return names;
}

// The 8-connected components of the network `net` that have no pixel on the raster's edge or
// next to a NoData cell: streams that stop inside the model.
int components_inside(const ByteGrid& net, const ByteGrid& nodata) {
    const std::int64_t rows = net.rows(), cols = net.cols();
    ByteGrid seen(rows, cols);
    int inside = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> stack;
    for (std::int64_t r0 = 0; r0 < rows; ++r0)
        for (std::int64_t c0 = 0; c0 < cols; ++c0) {
            if (net(r0, c0) != 1 || seen(r0, c0) != 0)
                continue;
            bool out = false;
            stack = {{r0, c0}};
            seen(r0, c0) = 1;
            while (!stack.empty()) {
                const auto [r, c] = stack.back();
                stack.pop_back();
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        const std::int64_t nr = r + dr, nc = c + dc;
                        if (nr < 0 || nc < 0 || nr >= rows || nc >= cols || nodata(nr, nc) != 0) {
                            out = true;
                            continue;
                        }
                        if (net(nr, nc) == 1 && seen(nr, nc) == 0) {
                            seen(nr, nc) = 1;
                            stack.push_back({nr, nc});
                        }
                    }
            }
            inside += out ? 0 : 1;
        }
    return inside;
}

std::int64_t cells_of(const ByteGrid& g) {
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < g.size(); ++i)
        n += g.data()[i] != 0;
    return n;
}

// Cells set in `inner` but not in `outer`.
std::int64_t cells_outside(const ByteGrid& inner, const ByteGrid& outer) {
    std::int64_t n = 0;
    for (std::int64_t i = 0; i < inner.size(); ++i)
        n += inner.data()[i] != 0 && outer.data()[i] == 0;
    return n;
}

TEST(PrepareDem, RealDemAtTwoThresholdsIsOnePixelWideDrainsOutAndNests) {
    test::TempDir dir;
    const int threads = omp_get_max_threads();
    std::vector<ByteGrid> streams;  // before thinning, at 1 km2 then 10 km2
    for (const double km2 : {1.0, 10.0}) {
        SCOPED_TRACE(km2);
        PrepareOptions o = from_dem(dir.file("net.tif"));
        o.t_srs = "32617";
        o.threshold_area = km2;
        o.keep_intermediate = dir.path().string();
        omp_set_num_threads(2);
        const Result r = prepare(o);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("verdict           yes"), std::string::npos) << r.out;

        const RiverRaster net = read_river_raster(o.out, {});
        const DemRaster filled = read_dem(dir.file("net_filled.tif"));
        const NetworkSummary s = summarize_network(net.cells);
        EXPECT_EQ(s.redundant, 0);
        EXPECT_EQ(s.others, 0);
        EXPECT_EQ(s.loops, 0) << "a D8 network is a tree";
        EXPECT_GT(filled.dem.nodata(0, 0), 0) << "the corners the source does not cover";
        EXPECT_EQ(components_inside(net.cells, filled.dem.nodata), 0);

        // The same bytes with one thread.
        omp_set_num_threads(1);
        o.out = dir.file("net1.tif");
        o.keep_intermediate.reset();
        ASSERT_EQ(prepare(o).status, 0);
        EXPECT_EQ(test::read_file(dir.file("net.tif")), test::read_file(dir.file("net1.tif")));

        // Before thinning, on the same grid; thinning only removes cells.
        PreparedNetwork p = dem_streams(o, nullptr, {});
        EXPECT_EQ(p.geo.transform, net.geo.transform);
        EXPECT_EQ(cells_outside(net.cells, p.grid), 0);
        EXPECT_GT(cells_of(p.grid), cells_of(net.cells));
        streams.push_back(std::move(p.grid));
    }
    omp_set_num_threads(threads);
    EXPECT_EQ(cells_outside(streams[1], streams[0]), 0) << "10 km2 lies on 1 km2";
    EXPECT_GT(cells_of(streams[0]), 2 * cells_of(streams[1]));
}

TEST(PrepareDem, KeepIntermediateWritesThreeGeoTiffsOnTheDemsGrid) {
    test::TempDir dir;
    PrepareOptions o = from_dem(dir.file("net.tif"));
    o.threshold_cells = 500;
    o.keep_intermediate = (dir.path() / "steps").string();
    fs::create_directory(*o.keep_intermediate);
    const Result r = prepare(o);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        files_in(*o.keep_intermediate),
        (std::set<std::string>{"net_accumulation.tif", "net_directions.tif", "net_filled.tif"}));
    EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"net.tif", "steps"}));

    const DemRaster dem = read_dem(kJacksboro);
    std::vector<DemRaster> steps;
    for (const char* name : {"net_filled.tif", "net_directions.tif", "net_accumulation.tif"}) {
        const std::string path = *o.keep_intermediate + "/" + name;
        steps.push_back(read_dem(path));
        const DemRaster& back = steps.back();
        EXPECT_EQ(back.geo.transform, dem.geo.transform) << name;
        EXPECT_EQ(back.geo.projection, dem.geo.projection) << name;
        EXPECT_EQ(back.dem.z.rows(), dem.dem.z.rows()) << name;
        EXPECT_EQ(back.dem.z.cols(), dem.dem.z.cols()) << name;
        GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
        ASSERT_NE(ds, nullptr);
        const char* software = GDALGetMetadataItem(ds, "TIFFTAG_SOFTWARE", nullptr);
        EXPECT_EQ(std::string(software ? software : ""), program_version()) << name;
        GDALClose(ds);
    }
    // Each file is the step its name says: elevations raised, never lowered; D8 codes; counts.
    std::int64_t raised = 0, not_d8 = 0, empty = 0;
    for (std::int64_t i = 0; i < dem.dem.z.size(); ++i) {
        const double z = dem.dem.z.data()[i];
        const double filled = steps[0].dem.z.data()[i];
        EXPECT_GE(filled, z);
        raised += filled > z;
        const double code = steps[1].dem.z.data()[i];
        not_d8 += code < 1 || code > 128 || d8_index(static_cast<std::uint8_t>(code)) < 0;
        empty += steps[2].dem.z.data()[i] < 1;
    }
    EXPECT_GT(raised, 0);
    EXPECT_EQ(not_d8, 0);
    EXPECT_EQ(empty, 0);
}

TEST(PrepareDem, RefusalsAreOneLineAndWriteNothing) {
    test::TempDir dir;
    const std::string out = dir.file("net.tif");
    // An area threshold on a DEM in degrees, with a projection to give instead.
    PrepareOptions o = from_dem(out);
    o.threshold_area = 5;
    o.keep_intermediate = dir.path().string();
    std::vector<std::pair<PrepareOptions, std::string>> cases = {
        {o, "--threshold-area: " + kJacksboro +
                " is in geographic coordinates (degrees), whose cells differ in area: give "
                "--t-srs, for example --t-srs \"+proj=laea +lat_0=36.6 +lon_0=-84.2 "
                "+datum=WGS84 +units=m\""}};
    o.keep_intermediate.reset();
    o.threshold_cells = 100;
    cases.push_back({o, "--from-dem: give --threshold-cells or --threshold-area, not both"});
    o.threshold_area.reset();
    o.layer = "rivers";
    cases.push_back({o, "--layer does not apply to --from-dem"});
    o.layer.reset();
    o.value = 1;
    cases.push_back({o, "--value does not apply to --from-dem"});
    o.value.reset();
    o.threshold_cells.reset();
    cases.push_back({o, "--from-dem needs a stream threshold"});
    o.from_dem = false;
    o.threshold_cells = 100;
    cases.push_back({o, "--threshold-cells applies to an elevation model: give --from-dem"});
    for (const auto& [options, message] : cases) {
        const Result r = prepare(options);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("drainshape: " + message, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_TRUE(files_in(dir.path()).empty());
}

}  // namespace
}  // namespace ds

#endif
