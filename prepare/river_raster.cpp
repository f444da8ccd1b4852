#include "prepare/river_raster.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "gis/crs.h"
#include "io/formats.h"
#include "io/lecture.h"
#include "io/raster_limits.h"

namespace ds {

namespace {

namespace fs = std::filesystem;

// Bytes a check or a thinning holds per pixel: the raster, a mark per pixel, and some slack.
constexpr std::int64_t kBytesPerPixel = 3;

unsigned char map_byte(unsigned char v, const BandRule& rule) {
    if (rule.kind == BandRule::Kind::Values)
        return v;
    if (rule.network_value)
        return static_cast<double>(v) == *rule.network_value ? 1 : 0;
    return v != 0 ? 1 : 0;
}

RiverRaster read_raw(const std::string& path, const BandRule& rule) {
    const std::string descriptor = fs::path(path).replace_extension(".txt").string();
    const auto read = read_descriptor(descriptor);
    if (!read)
        throw InputError("cannot read the descriptor " + descriptor + " of " + path +
                         "; it should hold six integers: lines, columns, 1, 0, 255 and the "
                         "pixel size");
    const RiverDescriptor& rd = *read;
    if (rd.read < 2 || rd.nb_lig <= 0 || rd.nb_col <= 0)
        throw InputError("the descriptor " + descriptor +
                         " does not start with the lines and columns of the raster");
    if (const auto problem =
            raster_size_problem(rd.nb_lig, rd.nb_col, kBytesPerPixel, usable_memory()))
        throw InputError("the descriptor " + descriptor + " gives " + std::to_string(rd.nb_lig) +
                         " lines and " + std::to_string(rd.nb_col) + " columns: " + *problem);

    RiverRaster river;
    river.raw = true;
    river.pixel.size = rd.pix_size;
    river.pixel.metres = rd.pix_size;
    river.pixel.unit = "metre";
    river.cells = ByteGrid(rd.nb_lig, rd.nb_col);
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        throw InputError("cannot read " + path + ": " + std::strerror(errno));
    const std::int64_t bytes = load_raster(f, river.cells);
    const bool failed = std::ferror(f) != 0;
    const bool longer = !failed && std::fgetc(f) != EOF;
    std::fclose(f);
    if (failed)
        throw InputError("cannot read " + path + ": read error");
    if (bytes < river.cells.size())
        throw InputError(path + " holds " + std::to_string(bytes) + " bytes, fewer than the " +
                         std::to_string(rd.nb_lig) + " x " + std::to_string(rd.nb_col) +
                         " of its descriptor " + descriptor);
    if (longer)
        river.warning = path + " holds more than the " + std::to_string(river.cells.size()) +
                        " bytes of its descriptor; the rest is ignored";
    for (std::int64_t r = 0; r < river.cells.rows(); ++r)
        for (unsigned char& v : river.cells.row(r))
            v = map_byte(v, rule);
    return river;
}

}  // namespace

PixelDescription describe_pixel(const GeoReference& geo) {
    PixelDescription pixel;
    const CrsInfo crs = describe_crs(geo.projection);
    pixel.crs = crs.name;
    pixel.unit = crs.unit;
    pixel.geographic = crs.geographic;
    if (geo.transform) {
        pixel.size = std::fabs((*geo.transform)[1]);
        if (!crs.known)
            pixel.metres = pixel.size;  // no coordinate system: taken as metres
        else if (!crs.geographic)
            pixel.metres = pixel.size * crs.metres_per_unit;
    }
    return pixel;
}

std::string lower_extension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool is_raw_path(const std::string& path) {
    return lower_extension(path) == ".raw";
}

RiverRaster read_river_raster(const std::string& path, const BandRule& rule) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw InputError("no file " + path);
    if (fs::is_directory(path, ec))
        throw InputError(path + " is a folder, not a raster");
    if (is_raw_path(path))
        return read_raw(path, rule);
    if (!have_gdal())
        throw InputError("cannot read " + path +
                         ": this drainshape is built without GDAL and reads only .raw rasters");

    const std::uint64_t memory = usable_memory();  // 0 when unknown
    const std::int64_t max_cells =
        memory == 0 ? kMaxCells
                    : std::min(kMaxCells, static_cast<std::int64_t>(memory / kBytesPerPixel));
    BandRaster band;
    try {
        band = read_band(path, rule, max_cells);
    } catch (const RasterError& e) {
        throw InputError("cannot read " + path + ": " + e.what());
    }
    RiverRaster river;
    river.cells = std::move(band.cells);
    river.geo = std::move(band.geo);
    river.nodata = band.nodata;
    river.pixel = describe_pixel(river.geo);
    return river;
}

}  // namespace ds
