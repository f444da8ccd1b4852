// Between numpy and the analysis: the network array in, the products out as arrays.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/segment_fields.h"
#include "analysis/layers.h"
#include "analysis/tables.h"

namespace ds::python {

// Raises a Python exception of `type` (PyExc_ValueError...) through pybind11.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// The raster of `network` (anything numpy.asarray takes: two dimensions, booleans or integers of
// any width and memory order) as the analysis reads it, copied once: bytes as they are, other
// types 1 where the value is exactly 1 and 0 elsewhere, since only 1 marks the network. Raises
// TypeError or ValueError naming the argument, and MemoryError when the grids of `engine` would
// not fit.
ByteGrid network_grid(const pybind11::handle& network, Engine engine);

// Adds to `result` the tables of the segments and the systems, as {"segments": {column: array},
// "systems": {...}}: ids and counts as int64 (0 where there is none), the rest as float64 (NaN
// where there is none); the FDP columns with both treatments, the orientation's with it.
void add_tables(pybind11::dict& result, const NetworkTables& t);

// Keeps a copy of every product it receives, and the layers made of its fields, without the GIL;
// result() turns them into the Python result once the GIL is back.
class Collector final : public ProductReceiver {
  public:
    // `margin`: the regional half side, within which of the edges TACO_RI has no value.
    explicit Collector(int margin) : margin_(margin) {}

    void image(const ImageProduct& p) override;
    void r2_table(const R2Product& p) override;
    void taco_field(const RealGrid& dtab2) override;
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override;
    void fdp_regional_field(bool second, const FloatGrid& dimensions) override;
    void taco_regional_field(const RealGrid& smoothed) override;

    // {"images", "tables", "extremes", "taco", "fdp", "fdp2", "parameters", "processed", "fdp_r2",
    // "fdp2_r2", "taco_ri", "fdp_ri", "fdp_ri2", "layers"}; the arrays take over the copies.
    // "layers", None without fields, maps each layer's name to its Float32 cells, in the order
    // of kLayers.
    pybind11::dict result(const AnalysisParameters& p, const AnalysisSummary& summary);

  private:
    struct Image {
        const ProductInfo* info;
        ByteGrid image;
        double min;
        double max;
    };
    struct Layer {
        const LayerInfo* info;
        FloatGrid cells;
    };
    void add_dense(std::string_view name, const RealGrid& g);
    void add_sparse(std::string_view name, const SparseField& f);

    int margin_;
    std::vector<Image> images_;
    std::vector<Layer> layers_;
    std::vector<FrequencyTable> tables_;
    std::optional<RealGrid> taco_, fdp_, fdp2_, fdp_r2_, fdp2_r2_, taco_ri_, fdp_ri_, fdp_ri2_;
};

}  // namespace ds::python
