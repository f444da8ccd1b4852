// The program's side of the GIS module: it finds and loads libdrainshape_gis.so on the first
// call of a GIS function, and each function forwards to the module's table. When the module
// cannot be used, each function fails as it does in a build without GDAL, with the reason.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "gis/module.h"

namespace ds {

namespace fs = std::filesystem;

namespace {

// The file of the binary (the program, or a shared library such as the Python extension) that
// holds this code.
fs::path this_binary() {
    struct Found {
        std::uintptr_t address;
        std::string name;
        bool found = false;
    } f{reinterpret_cast<std::uintptr_t>(&gis_module_path), {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto* f = static_cast<Found*>(data);
            for (int k = 0; k < info->dlpi_phnum; ++k) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[k];
                const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
                if (ph.p_type == PT_LOAD && f->address >= start &&
                    f->address < start + ph.p_memsz) {
                    f->name = info->dlpi_name != nullptr ? info->dlpi_name : "";
                    f->found = true;
                    return 1;
                }
            }
            return 0;
        },
        &f);
    // The main program has no name in the list of loaded objects.
    if (!f.found || f.name.empty()) {
        std::error_code ec;
        return fs::read_symlink("/proc/self/exe", ec);
    }
    return f.name;
}

struct Loaded {
    const GisModule* table = nullptr;
    std::string problem;  // why there is no table
};

Loaded load() {
#if !DRAINSHAPE_WITH_GDAL
    return {nullptr, "this drainshape is built without GDAL"};
#else
    const std::string path = gis_module_path();
    if (path.empty())
        return {nullptr, std::string("GDAL's module ") + kGisModuleFile + " is not beside " +
                             this_binary().string()};
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return {nullptr, std::string("GDAL's module cannot be loaded: ") + dlerror()};
    using Entry = const GisModule* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kGisModuleEntry));
    if (entry == nullptr)
        return {nullptr, path + " is not drainshape's GDAL module"};
    const GisModule* table = entry();
    if (table->version != kGisModuleVersion)
        return {nullptr, path + " belongs to another build of drainshape"};
    return {table, {}};
#endif
}

const Loaded& loaded() {
    static const Loaded l = load();
    return l;
}

// The table, or `Error` with the reason there is none.
template <class Error>
const GisModule& module() {
    const Loaded& l = loaded();
    if (l.table == nullptr)
        throw Error(l.problem);
    return *l.table;
}

}  // namespace

std::string gis_module_path() {
    if (const char* env = std::getenv("DRAINSHAPE_GIS_MODULE"); env != nullptr && *env != '\0')
        return fs::exists(env) ? env : "";
    const fs::path folder = this_binary().parent_path();
    for (const fs::path& candidate :
         {folder / kGisModuleFile, folder.parent_path() / kGisModuleFile,
          folder.parent_path() / "lib" / "drainshape" / kGisModuleFile}) {
        std::error_code ec;
        if (fs::exists(candidate, ec))
            return candidate.string();
    }
    return {};
}

std::optional<std::string> gis_problem() {
    if (loaded().table != nullptr)
        return std::nullopt;
    return loaded().problem;
}

bool have_gdal() {
    return DRAINSHAPE_WITH_GDAL != 0;
}

std::string gdal_release() {
    return DRAINSHAPE_GDAL_RELEASE;
}

RasterInfo probe_raster(const std::string& path) {
    return module<RasterError>().probe_raster(path);
}

void read_network(const std::string& path, ByteGrid& tab) {
    module<RasterError>().read_network(path, tab);
}

void read_network_rows(const std::string& path, std::int64_t nb_lig, RowRange rows, ByteGrid& tab) {
    module<RasterError>().read_network_rows(path, nb_lig, rows, tab);
}

void write_geotiff(const std::string& path, const ByteGrid& image, const GeoReference& geo,
                   const Metadata& metadata, bool zero_is_nodata) {
    module<RasterError>().write_geotiff(path, image, geo, metadata, zero_is_nodata);
}

std::unique_ptr<GeoTiffRows> create_geotiff_rows(const std::string& path, std::int64_t rows,
                                                 std::int64_t cols, const GeoReference& geo,
                                                 const Metadata& metadata) {
    return module<RasterError>().create_geotiff_rows(path, rows, cols, geo, metadata);
}

CrsInfo describe_crs(const std::string& wkt) {
    // Nothing to describe, or nothing to describe it with: an unknown system.
    if (wkt.empty() || loaded().table == nullptr)
        return {};
    return loaded().table->describe_crs(wkt);
}

std::string crs_from_user(const std::string& text) {
    const Loaded& l = loaded();
    if (l.table == nullptr)
        throw GisOptionError("'" + text + "': " + l.problem);
    return l.table->crs_from_user(text);
}

std::string suggest_projection(double west, double south, double east, double north) {
    return module<RasterError>().suggest_projection(west, south, east, north);
}

BandRaster read_band(const std::string& path, const BandRule& rule, std::int64_t max_cells) {
    return module<RasterError>().read_band(path, rule, max_cells);
}

SourceKind source_kind(const std::string& path) {
    if (loaded().table == nullptr)
        return SourceKind::Unknown;
    return loaded().table->source_kind(path);
}

VectorLines read_lines(const LineQuery& q) {
    return module<VectorError>().read_lines(q);
}

CrsKind crs_kind(const std::string& definition) {
    if (definition.empty())
        return CrsKind::none;
    return module<RasterError>().crs_kind(definition);
}

std::string crs_wkt(const std::string& definition) {
    return module<RasterError>().crs_wkt(definition);
}

DemRaster read_dem(const std::string& path) {
    return module<RasterError>().read_dem(path);
}

DemRaster read_dem_warped(const std::string& path, const std::string& t_srs, double pixel_size) {
    return module<RasterError>().read_dem_warped(path, t_srs, pixel_size);
}

void write_elevation_geotiff(const std::string& path, const RealGrid& z, const ByteGrid& nodata,
                             const GeoReference& geo, const Metadata& metadata) {
    module<RasterError>().write_elevation_geotiff(path, z, nodata, geo, metadata);
}

void write_count_geotiff(const std::string& path, const CountGrid& counts, const GeoReference& geo,
                         const Metadata& metadata) {
    module<RasterError>().write_count_geotiff(path, counts, geo, metadata);
}

std::unique_ptr<LayerRows> create_layer_part(const std::string& path, std::int64_t rows,
                                             std::int64_t cols) {
    return module<RasterError>().create_layer_part(path, rows, cols);
}

void remove_layer_part(const std::string& path) {
    module<RasterError>().remove_layer_part(path);
}

void write_layer_cog(const std::string& path, const std::vector<LayerPart>& parts,
                     std::int64_t cols, const GeoReference& geo, const std::string& description,
                     const Metadata& metadata) {
    module<RasterError>().write_layer_cog(path, parts, cols, geo, description, metadata);
}

void write_network_gpkg(const std::string& path, const NetworkFile& f) {
    module<RasterError>().write_network_gpkg(path, f);
}

}  // namespace ds
