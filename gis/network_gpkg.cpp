#include "gis/network_gpkg.h"

#include <array>
#include <cmath>
#include <optional>

#include "gis/gdal_support.h"

namespace ds {

using gdal::Dataset;
using gdal::ErrorTrap;

namespace {

// The coordinates of a pixel's centre.
struct Place {
    std::array<double, 6> gt;
    std::array<double, 2> at(const GridPixel& p) const {
        const double c = p.col + 0.5;
        const double r = p.row + 0.5;
        return {gt[0] + c * gt[1] + r * gt[2], gt[3] + c * gt[4] + r * gt[5]};
    }
};

class Layer {
  public:
    Layer(OGRLayerH layer, const ErrorTrap& trap) : layer_(layer), trap_(trap) {}

    void field(const char* name, OGRFieldType type) {
        gdal::Releaser<OGR_Fld_Destroy> release;
        OGRFieldDefnH f = OGR_Fld_Create(name, type);
        const OGRErr err = OGR_L_CreateField(layer_, f, TRUE);
        release(f);
        if (err != OGRERR_NONE)
            throw RasterError(trap_.message("GDAL cannot add a field"));
    }

    // Adds one feature: `fill` sets its fields through set().
    template <class Fill>
    void add(OGRGeometryH geometry, Fill&& fill) {
        gdal::Feature feature(OGR_F_Create(OGR_L_GetLayerDefn(layer_)));
        feature_ = static_cast<OGRFeatureH>(feature.get());
        index_ = 0;
        fill();
        if (geometry != nullptr)
            OGR_F_SetGeometryDirectly(feature_, geometry);
        if (OGR_L_CreateFeature(layer_, feature_) != OGRERR_NONE)
            throw RasterError(trap_.message("GDAL cannot write a feature"));
    }
    void set(std::optional<std::int64_t> v) {
        if (v)
            OGR_F_SetFieldInteger64(feature_, index_, *v);
        else
            OGR_F_SetFieldNull(feature_, index_);
        ++index_;
    }
    void set_real(std::optional<double> v) {
        if (v && std::isfinite(*v))
            OGR_F_SetFieldDouble(feature_, index_, *v);
        else
            OGR_F_SetFieldNull(feature_, index_);
        ++index_;
    }

  private:
    OGRLayerH layer_;
    const ErrorTrap& trap_;
    OGRFeatureH feature_ = nullptr;
    int index_ = 0;
};

std::optional<std::int64_t> id(std::int64_t v) {
    return v > 0 ? std::optional<std::int64_t>(v) : std::nullopt;
}

// The statistics columns of a row: TACO's mean, min, max and share below 100, then the means of
// the other fields.
void stats_fields(Layer& l, bool both) {
    for (const char* name : {"taco_mean", "taco_min", "taco_max", "meander_share"})
        l.field(name, OFTReal);
    if (both)
        for (const char* name : {"fdp_mean", "fdp2_mean", "r2_mean"})
            l.field(name, OFTReal);
}

void set_stats(Layer& l, const RowStats& s, bool both) {
    for (const double v : {s.taco_mean, s.taco_min, s.taco_max, s.meander_share})
        l.set_real(v);
    if (both)
        for (const double v : {s.fdp_mean, s.fdp2_mean, s.r2_mean})
            l.set_real(v);
}

OGRLayerH create_layer(GDALDatasetH ds, const char* name, OGRSpatialReferenceH srs,
                       OGRwkbGeometryType type, const NetworkFile& f, const ErrorTrap& trap) {
    // Without a coordinate system, GeoPackage's undefined Cartesian one (not its undefined
    // geographic one, in degrees).
    const bool cartesian = srs == nullptr && type != wkbNone;
    const char* options[] = {"FID=fid", cartesian ? "SRID=-1" : nullptr, nullptr};
    OGRLayerH layer = GDALDatasetCreateLayer(ds, name, srs, type, const_cast<char**>(options));
    if (layer == nullptr)
        throw RasterError(trap.message("GDAL cannot create a layer"));
    for (const auto& [key, value] : f.metadata)
        GDALSetMetadataItem(layer, key.c_str(), value.c_str(), nullptr);
    return layer;
}

}  // namespace

void write_network_gpkg(const std::string& path, const NetworkFile& f) {
    gdal::register_drivers();
    ErrorTrap trap;
    GDALDriverH driver = GDALGetDriverByName("GPKG");
    if (driver == nullptr)
        throw RasterError("GDAL has no GeoPackage driver");
    // The temporary file the caller reserved is empty: GeoPackage starts from nothing.
    VSIUnlink(path.c_str());
    Dataset ds(GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds)
        throw RasterError(trap.message("GDAL cannot create it"));
    gdal::Srs srs;
    if (!f.geo.projection.empty()) {
        srs.reset(OSRNewSpatialReference(f.geo.projection.c_str()));
        if (srs)
            OSRSetAxisMappingStrategy(static_cast<OGRSpatialReferenceH>(srs.get()),
                                      OAMS_TRADITIONAL_GIS_ORDER);
    }
    const double p = f.pixel_size;
    const Place place{f.geo.transform ? *f.geo.transform
                                      : std::array<double, 6>{0, p, 0, 0, 0, -p}};
    const SegmentGraph& g = f.graph;
    const NetworkTables& t = f.tables;

    if (GDALDatasetStartTransaction(ds.get(), FALSE) != OGRERR_NONE)
        throw RasterError(trap.message("GDAL cannot start a transaction"));
    Layer segments(create_layer(ds.get(), "segments", static_cast<OGRSpatialReferenceH>(srs.get()),
                                wkbLineString, f, trap),
                   trap);
    for (const char* name : {"id", "from_node", "to_node", "pixels"})
        segments.field(name, OFTInteger64);
    for (const char* name : {"length", "straight", "sinuosity"})
        segments.field(name, OFTReal);
    stats_fields(segments, t.both);
    for (const char* name : {"processed", "system"})
        segments.field(name, OFTInteger64);
    if (t.oriented)
        for (const char* name : {"downstream", "strahler", "shreve"})
            segments.field(name, OFTInteger64);
    for (std::size_t s = 0; s < t.segments.size(); ++s) {
        const SegmentRow& row = t.segments[s];
        OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
        for (const GridPixel& v : g.path(g.segments[s])) {
            const auto [x, y] = place.at(v);
            OGR_G_AddPoint_2D(line, x, y);
        }
        segments.add(line, [&] {
            segments.set(row.id);
            segments.set(id(row.from_node));
            segments.set(id(row.to_node));
            segments.set(row.pixels);
            segments.set_real(row.length);
            segments.set_real(row.straight);
            segments.set_real(row.sinuosity);
            set_stats(segments, row.stats, t.both);
            segments.set(row.processed);
            segments.set(row.system);
            if (t.oriented) {
                segments.set(id(row.downstream));
                segments.set(row.strahler);
                segments.set(row.shreve);
            }
        });
    }

    Layer systems(create_layer(ds.get(), "systems", nullptr, wkbNone, f, trap), trap);
    for (const char* name : {"id", "pixels"})
        systems.field(name, OFTInteger64);
    systems.field("length", OFTReal);
    for (const char* name : {"segments", "ends", "junctions", "loops"})
        systems.field(name, OFTInteger64);
    stats_fields(systems, t.both);
    if (t.oriented) {
        systems.field("outlet_segment", OFTInteger64);
        systems.field("outlet_x", OFTReal);
        systems.field("outlet_y", OFTReal);
    }
    for (std::size_t s = 0; s < t.systems.size(); ++s) {
        const SystemRow& row = t.systems[s];
        const GraphSystem& sys = g.systems[s];
        systems.add(nullptr, [&] {
            systems.set(row.id);
            systems.set(row.pixels);
            systems.set_real(row.length);
            systems.set(row.segments);
            systems.set(row.ends);
            systems.set(row.junctions);
            systems.set(row.loops);
            set_stats(systems, row.stats, t.both);
            if (t.oriented) {
                systems.set(id(row.outlet_segment));
                std::optional<std::array<double, 2>> at;
                if (sys.outlet)
                    at = place.at(*sys.outlet);
                systems.set_real(at ? std::optional<double>((*at)[0]) : std::nullopt);
                systems.set_real(at ? std::optional<double>((*at)[1]) : std::nullopt);
            }
        });
    }
    if (GDALDatasetCommitTransaction(ds.get()) != OGRERR_NONE)
        throw RasterError(trap.message("GDAL cannot write the features"));
    ds.reset();
    if (trap.failed())
        throw RasterError(trap.message("GDAL error"));
}

}  // namespace ds
