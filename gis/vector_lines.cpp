#include "gis/vector_lines.h"

#include <cpl_conv.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "gis/gdal_support.h"

namespace ds {

namespace {

using gdal::Feature;
using gdal::Srs;
using gdal::Transform;

std::string layer_names(GDALDatasetH ds) {
    std::string names;
    for (int k = 0; k < GDALDatasetGetLayerCount(ds); ++k) {
        if (k > 0)
            names += ", ";
        names += OGR_L_GetName(GDALDatasetGetLayer(ds, k));
    }
    return names;
}

// Appends the line string `g` to `out`, reprojected by `ct` when there is one; a vertex that
// cannot be reprojected splits the line there.
void add_line_string(OGRGeometryH g, OGRCoordinateTransformationH ct, VectorLines& out) {
    const int n = OGR_G_GetPointCount(g);
    if (n <= 0)
        return;
    std::vector<double> x(static_cast<std::size_t>(n));
    std::vector<double> y(static_cast<std::size_t>(n));
    std::vector<int> ok(static_cast<std::size_t>(n), 1);
    OGR_G_GetPoints(g, x.data(), sizeof(double), y.data(), sizeof(double), nullptr, 0);
    if (ct != nullptr)
        OCTTransformEx(ct, n, x.data(), y.data(), nullptr, ok.data());
    Polyline line;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (ok[k] == 0 || !std::isfinite(x[k]) || !std::isfinite(y[k])) {
            ++out.lost_points;
            if (!line.empty())
                out.lines.push_back(std::move(line));
            line.clear();
            continue;
        }
        line.push_back({x[k], y[k]});
        out.min = {std::min(out.min.x, x[k]), std::min(out.min.y, y[k])};
        out.max = {std::max(out.max.x, x[k]), std::max(out.max.y, y[k])};
    }
    if (!line.empty())
        out.lines.push_back(std::move(line));
}

}  // namespace

SourceKind source_kind(const std::string& path) {
    gdal::register_drivers();
    gdal::ErrorTrap trap;
    const gdal::Dataset ds(GDALOpenEx(path.c_str(),
                                      GDAL_OF_VECTOR | GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                      nullptr, nullptr));
    if (!ds)
        return SourceKind::Unknown;
    if (GDALDatasetGetLayerCount(ds.get()) > 0)
        return SourceKind::Vector;
    if (GDALGetRasterCount(ds.get()) > 0)
        return SourceKind::Raster;
    return SourceKind::Unknown;
}

VectorLines read_lines(const LineQuery& q) {
    gdal::register_drivers();
    gdal::ErrorTrap trap;
    const gdal::Dataset ds(
        GDALOpenEx(q.path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        throw VectorError(trap.message("not a vector source that GDAL reads"));
    const int layers = GDALDatasetGetLayerCount(ds.get());
    if (layers == 0)
        throw VectorError("it holds no vector layer");
    OGRLayerH layer = nullptr;
    if (q.layer) {
        layer = GDALDatasetGetLayerByName(ds.get(), q.layer->c_str());
        if (layer == nullptr)
            throw GisOptionError("--layer: no layer '" + *q.layer + "' in " + q.path +
                                 "; its layers: " + layer_names(ds.get()));
    } else if (layers > 1) {
        throw GisOptionError(q.path + " has " + std::to_string(layers) +
                             " layers; choose one with --layer: " + layer_names(ds.get()));
    } else {
        layer = GDALDatasetGetLayer(ds.get(), 0);
    }

    VectorLines out;
    out.layer = OGR_L_GetName(layer);
    OGRSpatialReferenceH source_srs = OGR_L_GetSpatialRef(layer);
    if (source_srs != nullptr) {
        char* wkt = nullptr;
        if (OSRExportToWkt(source_srs, &wkt) == OGRERR_NONE && wkt != nullptr)
            out.source_wkt = wkt;
        CPLFree(wkt);
    }

    Transform ct;
    if (!q.target_wkt.empty()) {
        if (source_srs == nullptr)
            throw GisOptionError("the layer '" + out.layer + "' of " + q.path +
                                 " has no coordinate system to reproject from");
        Srs from(OSRClone(source_srs));
        Srs to(OSRNewSpatialReference(q.target_wkt.c_str()));
        if (!to)
            throw GisOptionError("the target coordinate system cannot be read");
        // x is the easting (longitude), y the northing (latitude), whatever the axis order
        // of the definitions.
        OSRSetAxisMappingStrategy(from.get(), OAMS_TRADITIONAL_GIS_ORDER);
        OSRSetAxisMappingStrategy(to.get(), OAMS_TRADITIONAL_GIS_ORDER);
        if (OSRIsSame(from.get(), to.get()) == 0) {
            ct.reset(OCTNewCoordinateTransformation(from.get(), to.get()));
            if (!ct)
                throw GisOptionError("no transformation from the coordinates of " + q.path +
                                     " to the target: " + trap.message("PROJ cannot make one"));
        }
    }

    if (q.where && OGR_L_SetAttributeFilter(layer, q.where->c_str()) != OGRERR_NONE)
        throw GisOptionError("--where \"" + *q.where +
                             "\": " + trap.message("not a filter on this layer"));
    OGR_L_ResetReading(layer);
    std::set<std::string> skipped_types;
    CPLErrorReset();
    while (true) {
        const Feature f(OGR_L_GetNextFeature(layer));
        // Some drivers (SQLite, GeoPackage) check the filter only when the first feature is
        // read.
        if (out.features == 0 && q.where && trap.failed())
            throw GisOptionError("--where \"" + *q.where + "\": " + trap.message("not a filter"));
        if (!f)
            break;
        ++out.features;
        OGRGeometryH g = OGR_F_GetGeometryRef(f.get());
        if (g == nullptr)
            continue;
        const OGRwkbGeometryType type = wkbFlatten(OGR_G_GetGeometryType(g));
        if (type == wkbLineString) {
            ++out.line_features;
            add_line_string(g, ct.get(), out);
        } else if (type == wkbMultiLineString) {
            ++out.line_features;
            for (int k = 0; k < OGR_G_GetGeometryCount(g); ++k)
                add_line_string(OGR_G_GetGeometryRef(g, k), ct.get(), out);
        } else {
            ++out.skipped;
            skipped_types.insert(OGRGeometryTypeToName(type));
        }
    }
    if (trap.failed())
        throw VectorError(trap.message("read error"));
    for (const std::string& t : skipped_types)
        out.skipped_types += (out.skipped_types.empty() ? "" : ", ") + t;
    return out;
}

}  // namespace ds
