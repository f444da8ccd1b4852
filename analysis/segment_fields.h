// The network's segments and drainage systems as tables: the statistics of the run's fields
// over each, gathered as the analysis hands the fields out (so that no field is kept), and the
// rows that every front end and writer shows.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/analysis.h"
#include "network/segments.h"

namespace ds {

// The TACO value below which a pixel meanders.
inline constexpr double kMeanderBelow = 100;

// The statistics of the fields of a run over a graph's segments and systems: TACO, then with
// both treatments FDP, FDP2 and the R² of FDP.
class SegmentFields final : public ProductReceiver {
  public:
    SegmentFields(const SegmentGraph& graph, bool both) : graph_(graph), both_(both) {}

    void image(const ImageProduct&) override {}
    void r2_table(const R2Product&) override {}
    void taco_field(const RealGrid& taco) override;
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override;

    // The four fields (one for TACO alone), in the order above.
    FieldTables tables() const;

  private:
    const SegmentGraph& graph_;
    bool both_;
    FieldTables taco_, fdp_, r2_;
};

// The statistics of a row: NaN where no pixel has a value (the FDP ones for TACO alone).
struct RowStats {
    double taco_mean, taco_min, taco_max, meander_share, fdp_mean, fdp2_mean, r2_mean;
};

// Ids count from 1; 0 where there is none. Lengths in pixel sides times the pixel size; NaN
// where there is no value.
struct SegmentRow {
    std::int64_t id, from_node, to_node, pixels;
    double length, straight, sinuosity;
    RowStats stats;
    std::int64_t processed, system;
    std::int64_t downstream, strahler, shreve;  // oriented graphs only
};

struct SystemRow {
    std::int64_t id, pixels;
    double length;
    std::int64_t segments, ends, junctions, loops;
    RowStats stats;
    std::int64_t outlet_segment;  // oriented graphs only
};

struct NetworkTables {
    bool both = true;
    bool oriented = false;
    std::vector<SegmentRow> segments;
    std::vector<SystemRow> systems;
};

NetworkTables network_tables(const SegmentGraph& graph, const FieldTables& fields,
                             double pixel_size);

}  // namespace ds
