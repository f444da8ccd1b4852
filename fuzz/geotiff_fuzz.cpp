// The GeoTIFF reader: the input is the bytes of a raster file, read through GDAL from memory.
// Rasters are bounded in size before any grid is allocated; a network read back holds only 0
// and 1.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "gis/geotiff.h"
#include "lib/grid.h"

namespace {

constexpr std::int64_t kMaxCells = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        CPLSetErrorHandler(CPLQuietErrorHandler);
        return true;
    }();
    (void)quiet;
    const std::string path = "/vsimem/geotiff_fuzz.tif";
    VSILFILE* f = VSIFileFromMemBuffer(path.c_str(), const_cast<GByte*>(data),
                                       static_cast<vsi_l_offset>(size), FALSE);
    if (f == nullptr)
        return 0;
    VSIFCloseL(f);
    try {
        const ds::RasterInfo info = ds::probe_raster(path);
        FUZZ_CHECK(info.river.nb_lig > 0 && info.river.nb_col > 0);
        if (static_cast<std::int64_t>(info.river.nb_lig) * info.river.nb_col <= kMaxCells) {
            ds::ByteGrid tab(info.river.nb_lig, info.river.nb_col);
            ds::read_network(path, tab);
            for (std::int64_t k = 0; k < tab.size(); ++k)
                FUZZ_CHECK(tab.data()[k] == 0 || tab.data()[k] == 1);
        }
    } catch (const ds::RasterError&) {
        // A file GDAL cannot read is refused with a message, as it should be.
    }
    VSIUnlink(path.c_str());
    return 0;
}
