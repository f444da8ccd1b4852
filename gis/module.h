// The GIS module: everything in gis/ that calls GDAL is built into a shared library of its own,
// libdrainshape_gis.so, loaded by gis/loader.cpp the first time a GIS function is called, so
// that a run that reads a .raw and writes no GeoTIFF never loads GDAL's hundred-odd libraries.
// The module hands out one table of its functions; the loader's functions of the same names
// forward to it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gis/crs.h"
#include "gis/dem_raster.h"
#include "gis/geotiff.h"
#include "gis/layer.h"
#include "gis/network_gpkg.h"
#include "gis/raster_band.h"
#include "gis/vector_lines.h"

namespace ds {

// Changes whenever the table does, so that a module of another build is refused.
inline constexpr int kGisModuleVersion = 3;

inline constexpr const char* kGisModuleFile = "libdrainshape_gis.so";
inline constexpr const char* kGisModuleEntry = "drainshape_gis_module";

using Metadata = std::vector<std::pair<std::string, std::string>>;

struct GisModule {
    int version;
    RasterInfo (*probe_raster)(const std::string&);
    void (*read_network)(const std::string&, ByteGrid&);
    void (*read_network_rows)(const std::string&, std::int64_t, RowRange, ByteGrid&);
    void (*write_geotiff)(const std::string&, const ByteGrid&, const GeoReference&, const Metadata&,
                          bool);
    std::unique_ptr<GeoTiffRows> (*create_geotiff_rows)(const std::string&, std::int64_t,
                                                        std::int64_t, const GeoReference&,
                                                        const Metadata&);
    CrsInfo (*describe_crs)(const std::string&);
    std::string (*crs_from_user)(const std::string&);
    std::string (*suggest_projection)(double, double, double, double);
    BandRaster (*read_band)(const std::string&, const BandRule&, std::int64_t);
    SourceKind (*source_kind)(const std::string&);
    VectorLines (*read_lines)(const LineQuery&);
    CrsKind (*crs_kind)(const std::string&);
    std::string (*crs_wkt)(const std::string&);
    DemRaster (*read_dem)(const std::string&);
    DemRaster (*read_dem_warped)(const std::string&, const std::string&, double);
    void (*write_elevation_geotiff)(const std::string&, const RealGrid&, const ByteGrid&,
                                    const GeoReference&, const Metadata&);
    void (*write_count_geotiff)(const std::string&, const CountGrid&, const GeoReference&,
                                const Metadata&);
    std::unique_ptr<LayerRows> (*create_layer_part)(const std::string&, std::int64_t, std::int64_t);
    void (*remove_layer_part)(const std::string&);
    void (*write_network_gpkg)(const std::string&, const NetworkFile&);
    void (*write_layer_cog)(const std::string&, const std::vector<LayerPart>&, std::int64_t,
                            const GeoReference&, const std::string&, const Metadata&);
};

// The path of the module the loader uses: $DRAINSHAPE_GIS_MODULE when set, else the first
// libdrainshape_gis.so beside the binary that holds the loader (the program, or the Python
// extension), in its parent folder, or in ../lib/drainshape; empty when there is none.
std::string gis_module_path();

// Why the GIS functions cannot be used, or nothing when they can; loads the module to find out.
std::optional<std::string> gis_problem();

}  // namespace ds

// Defined by the module: its table.
extern "C" const ds::GisModule* drainshape_gis_module();
