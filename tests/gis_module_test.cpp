// GDAL is loaded only when a run asks for it: a .raw river without --geotiff never loads it,
// and without the GIS module such a run still works while a GeoTIFF is refused by name.
#include <gtest/gtest.h>

#include "tests/exe_runner.h"
#include "tests/small_network.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::quoted;

#if DRAINSHAPE_WITH_GDAL
TEST(GisModule, ARawRunLoadsNoGdalAndNeedsNoModule) {
    ImagesRoot images;
    images.add_river("R", test::kNetLines, test::kNetColumns, test::small_network_descriptor(),
                     test::small_network());
    const std::string river = quoted(images.file("R.raw").string());

    // The dynamic loader lists every library it opens.
    const auto traced = images.run_raw("", "LD_DEBUG=libs", "run " + river + " --quiet");
    ASSERT_EQ(traced.status, 0) << traced.err;
    EXPECT_EQ(traced.err.find("libgdal"), std::string::npos);
    const auto with_tif =
        images.run_raw("", "LD_DEBUG=libs", "run " + river + " --quiet --geotiff --name T");
    ASSERT_EQ(with_tif.status, 0);
    EXPECT_NE(with_tif.err.find("libgdal"), std::string::npos);

    const std::string absent = "DRAINSHAPE_GIS_MODULE=" + images.scratch().string() + "/none.so";
    const auto plain = images.run_raw("", absent, "run " + river + " --quiet --name P");
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(images.files().contains("P_TAC_RI.raw"));
    const auto refused = images.run_raw("", absent, "run " + river + " --geotiff --name Q");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("libdrainshape_gis.so"), std::string::npos) << refused.err;
    EXPECT_FALSE(images.files().contains("Q_TAC_RI.raw"));
}
#endif

}  // namespace
}  // namespace ds
