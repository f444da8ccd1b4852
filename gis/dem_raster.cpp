#include "gis/dem_raster.h"

#include "gis/gdal_support.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace ds {

namespace {

using gdal::Dataset;
using gdal::ErrorTrap;

struct SrsCloser {
    void operator()(void* srs) const {
        if (srs != nullptr)
            OSRDestroySpatialReference(srs);
    }
};
using Srs = std::unique_ptr<void, SrsCloser>;

// Null for an empty definition. Throws RasterError.
Srs parse_srs(const std::string& definition) {
    if (definition.empty())
        return nullptr;
    ErrorTrap trap;
    Srs srs(OSRNewSpatialReference(nullptr));
    if (OSRSetFromUserInput(srs.get(), definition.c_str()) != OGRERR_NONE)
        throw RasterError("not a coordinate system: " + definition);
    return srs;
}

CrsKind kind_of(OGRSpatialReferenceH srs) {
    if (srs == nullptr)
        return CrsKind::none;
    if (OSRIsGeographic(srs))
        return CrsKind::geographic;
    if (OSRIsProjected(srs) || OSRIsLocal(srs))
        return CrsKind::projected;
    return CrsKind::none;
}

// The band's NoData value, compared at the band's own precision.
bool equals_nodata(double v, double nodata, GDALDataType type) {
    if (std::isnan(nodata))
        return std::isnan(v);
    if (type == GDT_Float32)
        return static_cast<float>(v) == static_cast<float>(nodata);
    return v == nodata;
}

// Ground size of a cell in metres where the coordinate system tells how.
void set_cell_size(DemRaster& out, OGRSpatialReferenceH srs) {
    if (!out.geo.transform)
        return;
    const std::array<double, 6>& gt = *out.geo.transform;
    double w = std::hypot(gt[1], gt[4]);
    double h = std::hypot(gt[2], gt[5]);
    if (out.crs == CrsKind::projected) {
        const double unit = OSRGetLinearUnits(srs, nullptr);
        w *= unit;
        h *= unit;
    } else if (out.crs == CrsKind::geographic) {
        const double radians = OSRGetAngularUnits(srs, nullptr);
        const double radius = OSRGetSemiMajor(srs, nullptr);
        const double rows = static_cast<double>(out.dem.z.rows());
        const double cols = static_cast<double>(out.dem.z.cols());
        const double lat = (gt[3] + gt[4] * cols / 2 + gt[5] * rows / 2) * radians;
        w *= radians * radius * std::max(std::cos(lat), 1e-6);
        h *= radians * radius;
    }
    if (w > 0 && h > 0 && std::isfinite(w) && std::isfinite(h)) {
        out.dem.cell_width = w;
        out.dem.cell_height = h;
    }
}

DemRaster dem_from_dataset(GDALDatasetH ds, const ErrorTrap& trap) {
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    if (type == GDT_Unknown || GDALDataTypeIsComplex(type))
        throw RasterError("band 1 does not hold real numbers");
    const int rows = GDALGetRasterYSize(ds), cols = GDALGetRasterXSize(ds);
    DemRaster out;
    out.dem.z = RealGrid(rows, cols);
    out.dem.nodata = ByteGrid(rows, cols);
    if (GDALRasterIO(band, GF_Read, 0, 0, cols, rows, out.dem.z.data(), cols, rows, GDT_Float64, 0,
                     0) != CE_None)
        throw RasterError(trap.message("read error"));

    const std::int64_t n = out.dem.z.size();
    double* z = out.dem.z.data();
    unsigned char* nodata = out.dem.nodata.data();
    const int flags = GDALGetMaskFlags(band);
    if (flags == GMF_NODATA) {
        const double value = GDALGetRasterNoDataValue(band, nullptr);
        for (std::int64_t i = 0; i < n; ++i)
            nodata[i] = equals_nodata(z[i], value, type) ? 1 : 0;
    } else if ((flags & GMF_ALL_VALID) == 0) {
        if (GDALRasterIO(GDALGetMaskBand(band), GF_Read, 0, 0, cols, rows, nodata, cols, rows,
                         GDT_Byte, 0, 0) != CE_None)
            throw RasterError(trap.message("read error in the mask"));
        for (std::int64_t i = 0; i < n; ++i)
            nodata[i] = nodata[i] == 0 ? 1 : 0;
    }
    // Elevations stored with a scale and an offset (decimetres as integers, say), in their units.
    int has_scale = 0, has_offset = 0;
    const double scale = GDALGetRasterScale(band, &has_scale);
    const double offset = GDALGetRasterOffset(band, &has_offset);
    const bool scaled = (has_scale != 0 && scale != 1) || (has_offset != 0 && offset != 0);
    for (std::int64_t i = 0; i < n; ++i) {
        if (scaled)
            z[i] = z[i] * (has_scale != 0 ? scale : 1) + (has_offset != 0 ? offset : 0);
        if (!std::isfinite(z[i]))
            nodata[i] = 1;
    }

    std::array<double, 6> gt{};
    if (GDALGetGeoTransform(ds, gt.data()) == CE_None)
        out.geo.transform = gt;
    if (const char* wkt = GDALGetProjectionRef(ds); wkt != nullptr)
        out.geo.projection = wkt;
    const Srs srs = parse_srs(out.geo.projection);
    out.crs = kind_of(srs.get());
    set_cell_size(out, srs.get());
    return out;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Calls GDAL's utility `run` with the command-line options `args`; its output dataset.
template <class Options, class NewOptions, class FreeOptions, class Run>
Dataset run_utility(const std::vector<std::string>& args, NewOptions make, FreeOptions release,
                    Run run, const ErrorTrap& trap) {
    CPLStringList argv;
    for (const std::string& a : args)
        argv.AddString(a.c_str());
    Options* options = make(argv.List(), nullptr);
    if (options == nullptr)
        throw RasterError(trap.message("bad warping options"));
    Dataset out(run(options));
    release(options);
    if (!out)
        throw RasterError(trap.message("GDAL cannot reproject the raster"));
    return out;
}

}  // namespace

CrsKind crs_kind(const std::string& definition) {
    return kind_of(parse_srs(definition).get());
}

std::string crs_wkt(const std::string& definition) {
    const Srs srs = parse_srs(definition);
    if (!srs)
        return {};
    char* wkt = nullptr;
    if (OSRExportToWkt(srs.get(), &wkt) != OGRERR_NONE || wkt == nullptr)
        throw RasterError("cannot describe the coordinate system " + definition);
    std::string out = wkt;
    CPLFree(wkt);
    return out;
}

DemRaster read_dem(const std::string& path) {
    ErrorTrap trap;
    const Dataset ds = gdal::open_raster(path, trap);
    return dem_from_dataset(ds.get(), trap);
}

DemRaster read_dem_warped(const std::string& path, const std::string& t_srs, double pixel_size) {
    if (crs_kind(t_srs) == CrsKind::none)
        throw RasterError("not a coordinate system to reproject into: " + t_srs);
    ErrorTrap trap;
    const Dataset src = gdal::open_raster(path, trap);
    const char* wkt = GDALGetProjectionRef(src.get());
    if (wkt == nullptr || *wkt == '\0')
        throw RasterError("the raster has no coordinate system to reproject from");
    // Band 1 alone: the warper takes every band.
    const Dataset band1 = run_utility<GDALTranslateOptions>(
        {"-of", "VRT", "-b", "1"}, GDALTranslateOptionsNew, GDALTranslateOptionsFree,
        [&](GDALTranslateOptions* o) { return GDALTranslate("", src.get(), o, nullptr); }, trap);
    std::vector<std::string> args = {"-of",      "MEM", "-t_srs",  t_srs,        "-r",
                                     "bilinear", "-ot", "Float64", "-dstnodata", "nan"};
    if (pixel_size > 0)
        args.insert(args.end(), {"-tr", number(pixel_size), number(pixel_size)});
    const Dataset warped = run_utility<GDALWarpAppOptions>(
        args, GDALWarpAppOptionsNew, GDALWarpAppOptionsFree,
        [&](GDALWarpAppOptions* o) {
            GDALDatasetH in = band1.get();
            return GDALWarp("", nullptr, 1, &in, o, nullptr);
        },
        trap);
    return dem_from_dataset(warped.get(), trap);
}

void write_elevation_geotiff(const std::string& path, const RealGrid& z, const ByteGrid& nodata,
                             const GeoReference& geo,
                             const std::vector<std::pair<std::string, std::string>>& metadata) {
    require_same_shape(z, nodata, "elevations and NoData mask differ in size");
    const std::int64_t n = z.size();
    bool fits_float = true;
    for (std::int64_t i = 0; i < n && fits_float; ++i)
        fits_float = nodata.data()[i] != 0 ||
                     static_cast<double>(static_cast<float>(z.data()[i])) == z.data()[i];
    const auto write = [&](auto lowest, GDALDataType type) {
        using T = decltype(lowest);
        std::vector<T> cells(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) {
            if (nodata.data()[i] != 0) {
                cells[i] = lowest;
                continue;
            }
            cells[i] = static_cast<T>(z.data()[i]);
            if (cells[i] == lowest)
                throw RasterError("an elevation equals the NoData value");
        }
        gdal::write_band(path,
                         {type, cells.data(), static_cast<int>(z.rows()),
                          static_cast<int>(z.cols()), static_cast<double>(lowest)},
                         geo, metadata);
    };
    if (fits_float)
        write(std::numeric_limits<float>::lowest(), GDT_Float32);
    else
        write(std::numeric_limits<double>::lowest(), GDT_Float64);
}

void write_count_geotiff(const std::string& path, const CountGrid& counts, const GeoReference& geo,
                         const std::vector<std::pair<std::string, std::string>>& metadata) {
    gdal::write_band(path, gdal::band_of(counts, GDT_UInt32, 0), geo, metadata);
}

}  // namespace ds
