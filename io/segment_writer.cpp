#include "io/segment_writer.h"

#include <cmath>

#include "gis/network_gpkg.h"
#include "io/geotiff_writer.h"
#include "io/out_file.h"
#include "lib/values.h"

namespace ds {

namespace {

double as_is(double v) {
    return v;
}

}  // namespace

void SegmentFields::taco_field(const RealGrid& taco) {
    const PixelField f{grid_value(taco, [](double v) { return v != 0.0; }), kMeanderBelow};
    taco_ = aggregate_fields(graph_, {&f, 1});
}

void SegmentFields::fdp_fields(const SparseField& dimension, const SparseField& dimension2) {
    const PixelField f[2] = {{sparse_value(dimension, dimension_of), std::nullopt},
                             {sparse_value(dimension2, dimension_of), std::nullopt}};
    fdp_ = aggregate_fields(graph_, f);
}

void SegmentFields::r2_fields(const SparseField& r2, const SparseField&) {
    const PixelField f{sparse_value(r2, as_is), std::nullopt};
    r2_ = aggregate_fields(graph_, {&f, 1});
}

FieldTables SegmentFields::tables() const {
    if (!both_)
        return taco_;
    FieldTables t;
    t.fields = 4;
    const auto merge = [](const FieldTables& taco, const FieldTables& fdp, const FieldTables& r2,
                          std::size_t rows, auto pick, std::vector<FieldStats>& out) {
        out.resize(rows * 4);
        for (std::size_t s = 0; s < rows; ++s) {
            out[s * 4] = pick(taco, s, 0);
            out[s * 4 + 1] = pick(fdp, s, 0);
            out[s * 4 + 2] = pick(fdp, s, 1);
            out[s * 4 + 3] = pick(r2, s, 0);
        }
    };
    const auto segment = [](const FieldTables& x, std::size_t s, std::size_t f) {
        return x.fields ? x.segment(s, f) : FieldStats{};
    };
    const auto system = [](const FieldTables& x, std::size_t s, std::size_t f) {
        return x.fields ? x.system(s, f) : FieldStats{};
    };
    merge(taco_, fdp_, r2_, graph_.segments.size(), segment, t.segments);
    merge(taco_, fdp_, r2_, graph_.systems.size(), system, t.systems);
    return t;
}

double network_pixel_size(const GeoReference& geo, int pix_size) {
    if (geo.transform)
        return std::hypot((*geo.transform)[1], (*geo.transform)[4]);
    return pix_size > 0 ? pix_size : 1;
}

void write_network(OutputSet& out, const SegmentGraph& graph, const FieldTables& fields,
                   const GeoReference& geo, int pix_size, const AnalysisParameters& p) {
    const std::string shown = out.base() + kNetworkSuffix;
    const std::string path = out.reserve(kNetworkSuffix);
    try {
        write_network_gpkg(
            path, {graph, fields, geo, network_pixel_size(geo, pix_size), provenance_items(p)});
    } catch (const RasterError& e) {
        throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
    }
}

}  // namespace ds
