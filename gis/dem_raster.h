// Elevation models through GDAL: band 1 of any raster GDAL reads, of any numeric type, with its
// NoData, read into a DemGrid with its georeference; the same warped to another coordinate
// system; the intermediates of the hydrology written as GeoTIFF. Without GDAL built in, every
// call throws RasterError.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dem/accumulation.h"
#include "dem/dem_grid.h"
#include "gis/geotiff.h"

namespace ds {

enum class CrsKind {
    none,        // no coordinate system, or one of no known kind
    projected,   // lengths in a linear unit (projected, or a local system)
    geographic,  // longitude and latitude: a pixel size in degrees
};

struct DemRaster {
    // Cell sizes in metres, except without a coordinate system (the geotransform's units, or 1
    // without one). For a geographic model they hold at its central latitude, good for the
    // directions but not for areas.
    DemGrid dem;
    GeoReference geo;
    CrsKind crs = CrsKind::none;
};

// The kind of the coordinate system `definition` (WKT, "EPSG:n", a PROJ string, anything
// GDAL's OSRSetFromUserInput takes); none for an empty one. Throws RasterError when GDAL cannot
// make sense of it.
CrsKind crs_kind(const std::string& definition);

// The WKT of the coordinate system `definition` (as crs_kind takes it), for a GeoReference.
// Throws RasterError.
std::string crs_wkt(const std::string& definition);

// Band 1 of the raster at `path`, with the band's scale and offset applied. A cell is NoData
// where the band's NoData value or its mask (alpha band, mask file) says so, and where its value
// is not finite. Throws RasterError, GridAllocError.
DemRaster read_dem(const std::string& path);

// Band 1 of the raster at `path`, warped into `t_srs` (as crs_kind takes it) by GDAL's warper
// with bilinear resampling, which follows a continuous surface without the steps of nearest
// neighbour (false flats) or the overshoot of cubic kernels (false pits). `pixel_size` > 0
// gives square cells of that size in the units of `t_srs`; 0 lets GDAL keep about the
// source's resolution. Cells that the source does not cover are NoData. Throws RasterError.
DemRaster read_dem_warped(const std::string& path, const std::string& t_srs, double pixel_size = 0);

// Writes the value cells of `z` as a one-band GeoTIFF: Float32 when every one of them is a
// float exactly, else Float64; NoData cells hold the type's lowest value, declared as NoData.
// Throws RasterError (a value cell equal to that lowest value is refused, not lost), whose
// message does not name the file.
void write_elevation_geotiff(const std::string& path, const RealGrid& z, const ByteGrid& nodata,
                             const GeoReference& geo,
                             const std::vector<std::pair<std::string, std::string>>& metadata);

// Writes `counts` as a one-band UInt32 GeoTIFF with 0 as NoData. Throws RasterError.
void write_count_geotiff(const std::string& path, const CountGrid& counts, const GeoReference& geo,
                         const std::vector<std::pair<std::string, std::string>>& metadata);

// D8 directions go out through write_geotiff (Byte, 0 as NoData).

}  // namespace ds
