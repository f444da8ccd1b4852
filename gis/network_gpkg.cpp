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

std::optional<std::int64_t> id(std::int32_t index) {
    return index < 0 ? std::nullopt : std::optional<std::int64_t>(index + 1);
}

// The statistics columns of a row: TACO's mean, min, max and share below 100, then the means of
// the other fields.
void stats_fields(Layer& l, std::size_t fields) {
    for (const char* name : {"taco_mean", "taco_min", "taco_max", "meander_share"})
        l.field(name, OFTReal);
    if (fields > 1)
        for (const char* name : {"fdp_mean", "fdp2_mean", "r2_mean"})
            l.field(name, OFTReal);
}

void set_stats(Layer& l, const FieldStats* s, std::size_t fields) {
    const FieldStats& taco = s[0];
    l.set_real(taco.mean());
    l.set_real(taco.count ? std::optional<double>(taco.min) : std::nullopt);
    l.set_real(taco.count ? std::optional<double>(taco.max) : std::nullopt);
    l.set_real(taco.share_below());
    for (std::size_t f = 1; f < fields; ++f)
        l.set_real(s[f].mean());
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
    const std::size_t fields = f.fields.fields;

    if (GDALDatasetStartTransaction(ds.get(), FALSE) != OGRERR_NONE)
        throw RasterError(trap.message("GDAL cannot start a transaction"));
    Layer segments(create_layer(ds.get(), "segments", static_cast<OGRSpatialReferenceH>(srs.get()),
                                wkbLineString, f, trap),
                   trap);
    for (const char* name : {"id", "from_node", "to_node", "pixels"})
        segments.field(name, OFTInteger64);
    for (const char* name : {"length", "straight", "sinuosity"})
        segments.field(name, OFTReal);
    stats_fields(segments, fields);
    for (const char* name : {"processed", "system"})
        segments.field(name, OFTInteger64);
    if (g.oriented)
        for (const char* name : {"downstream", "strahler", "shreve"})
            segments.field(name, OFTInteger64);
    for (std::size_t s = 0; s < g.segments.size(); ++s) {
        const GraphSegment& seg = g.segments[s];
        OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
        for (const GridPixel& v : g.path(seg)) {
            const auto [x, y] = place.at(v);
            OGR_G_AddPoint_2D(line, x, y);
        }
        const FieldStats* st = &f.fields.segments[s * fields];
        segments.add(line, [&] {
            segments.set(static_cast<std::int64_t>(s) + 1);
            segments.set(id(seg.from_node));
            segments.set(id(seg.to_node));
            segments.set(seg.pixels);
            segments.set_real(seg.length * p);
            segments.set_real(seg.straight * p);
            segments.set_real(seg.sinuosity);
            set_stats(segments, st, fields);
            segments.set(st[0].count);
            segments.set(seg.system + 1);
            if (g.oriented) {
                segments.set(id(seg.downstream));
                segments.set(seg.strahler);
                segments.set(seg.shreve);
            }
        });
    }

    Layer systems(create_layer(ds.get(), "systems", nullptr, wkbNone, f, trap), trap);
    for (const char* name : {"id", "pixels"})
        systems.field(name, OFTInteger64);
    systems.field("length", OFTReal);
    for (const char* name : {"segments", "ends", "junctions", "loops"})
        systems.field(name, OFTInteger64);
    stats_fields(systems, fields);
    if (g.oriented) {
        systems.field("outlet_segment", OFTInteger64);
        systems.field("outlet_x", OFTReal);
        systems.field("outlet_y", OFTReal);
    }
    for (std::size_t s = 0; s < g.systems.size(); ++s) {
        const GraphSystem& sys = g.systems[s];
        systems.add(nullptr, [&] {
            systems.set(static_cast<std::int64_t>(s) + 1);
            systems.set(sys.pixels);
            systems.set_real(sys.length * p);
            systems.set(sys.segments);
            systems.set(sys.ends);
            systems.set(sys.junctions);
            systems.set(sys.loops);
            set_stats(systems, &f.fields.systems[s * fields], fields);
            if (g.oriented) {
                systems.set(id(sys.outlet_segment));
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
