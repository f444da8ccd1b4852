#include "analysis/segment_fields.h"

#include <limits>

#include "lib/values.h"

namespace ds {

namespace {

double as_is(double v) {
    return v;
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

double value(std::optional<double> v) {
    return v ? *v : kNone;
}

RowStats row_stats(const FieldStats* s, std::size_t fields) {
    const FieldStats& taco = s[0];
    RowStats r{value(taco.mean()),
               taco.count ? taco.min : kNone,
               taco.count ? taco.max : kNone,
               value(taco.share_below()),
               kNone,
               kNone,
               kNone};
    if (fields > 1) {
        r.fdp_mean = value(s[1].mean());
        r.fdp2_mean = value(s[2].mean());
        r.r2_mean = value(s[3].mean());
    }
    return r;
}

std::int64_t id(std::int32_t index) {
    return index < 0 ? 0 : index + 1;
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
    const auto merge = [&](std::size_t rows, auto pick, std::vector<FieldStats>& out) {
        out.resize(rows * 4);
        for (std::size_t s = 0; s < rows; ++s) {
            out[s * 4] = pick(taco_, s, 0);
            out[s * 4 + 1] = pick(fdp_, s, 0);
            out[s * 4 + 2] = pick(fdp_, s, 1);
            out[s * 4 + 3] = pick(r2_, s, 0);
        }
    };
    merge(
        graph_.segments.size(),
        [](const FieldTables& x, std::size_t s, std::size_t f) {
            return x.fields ? x.segment(s, f) : FieldStats{};
        },
        t.segments);
    merge(
        graph_.systems.size(),
        [](const FieldTables& x, std::size_t s, std::size_t f) {
            return x.fields ? x.system(s, f) : FieldStats{};
        },
        t.systems);
    return t;
}

NetworkTables network_tables(const SegmentGraph& g, const FieldTables& f, double pixel_size) {
    NetworkTables t;
    t.both = f.fields > 1;
    t.oriented = g.oriented;
    t.segments.reserve(g.segments.size());
    for (std::size_t s = 0; s < g.segments.size(); ++s) {
        const GraphSegment& seg = g.segments[s];
        const FieldStats* st = &f.segments[s * f.fields];
        t.segments.push_back({static_cast<std::int64_t>(s) + 1, id(seg.from_node), id(seg.to_node),
                              seg.pixels, seg.length * pixel_size, seg.straight * pixel_size,
                              value(seg.sinuosity), row_stats(st, f.fields), st[0].count,
                              id(seg.system), g.oriented ? id(seg.downstream) : 0, seg.strahler,
                              seg.shreve});
    }
    t.systems.reserve(g.systems.size());
    for (std::size_t s = 0; s < g.systems.size(); ++s) {
        const GraphSystem& sys = g.systems[s];
        t.systems.push_back({static_cast<std::int64_t>(s) + 1, sys.pixels, sys.length * pixel_size,
                             sys.segments, sys.ends, sys.junctions, sys.loops,
                             row_stats(&f.systems[s * f.fields], f.fields),
                             g.oriented ? id(sys.outlet_segment) : 0});
    }
    return t;
}

}  // namespace ds
