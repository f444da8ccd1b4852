#include "arrays.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "io/raster_limits.h"

namespace py = pybind11;

namespace ds::python {

namespace {

template <class T>
void copy_network(const py::array& a, ByteGrid& tab) {
    const auto in = a.unchecked<T, 2>();
    for (py::ssize_t r = 0; r < in.shape(0); ++r) {
        unsigned char* out = tab.row(r).data();
        if constexpr (sizeof(T) == 1 && !std::is_signed_v<T>) {
            if (a.strides(1) == 1) {
                std::memcpy(out, in.data(r, 0), static_cast<std::size_t>(in.shape(1)));
                continue;
            }
        }
        for (py::ssize_t c = 0; c < in.shape(1); ++c) {
            if constexpr (sizeof(T) == 1 && !std::is_signed_v<T>)
                out[c] = static_cast<unsigned char>(in(r, c));
            else
                out[c] = in(r, c) == 1 ? 1 : 0;
        }
    }
}

// Copies through the integer type of the array's kind ('b', 'i' or 'u') and width.
bool copy_by_type(const py::array& a, ByteGrid& tab) {
    const char kind = a.dtype().kind();
    const py::ssize_t width = a.itemsize();
    const bool is_signed = kind == 'i';
    switch (width) {
        case 1:
            // numpy's booleans are the bytes 0 and 1.
            is_signed ? copy_network<std::int8_t>(a, tab) : copy_network<std::uint8_t>(a, tab);
            return true;
        case 2:
            is_signed ? copy_network<std::int16_t>(a, tab) : copy_network<std::uint16_t>(a, tab);
            return true;
        case 4:
            is_signed ? copy_network<std::int32_t>(a, tab) : copy_network<std::uint32_t>(a, tab);
            return true;
        case 8:
            is_signed ? copy_network<std::int64_t>(a, tab) : copy_network<std::uint64_t>(a, tab);
            return true;
        default:
            return false;
    }
}

// Takes over `grid` as a numpy array of its shape, without copying it.
template <class T>
py::array_t<T> to_numpy(Grid<T>&& grid) {
    auto owner = std::make_unique<Grid<T>>(std::move(grid));
    const std::vector<py::ssize_t> shape{owner->rows(), owner->cols()};
    T* data = owner->data();
    py::capsule free(owner.get(), [](void* p) { delete static_cast<Grid<T>*>(p); });
    owner.release();
    return py::array_t<T>(shape, data, free);
}

py::array table_array(const FrequencyTable& t) {
    py::array_t<double> a(
        {static_cast<py::ssize_t>(t.rows.size()), static_cast<py::ssize_t>(t.columns)});
    auto out = a.mutable_unchecked<2>();
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        for (int c = 0; c < t.columns; ++c)
            out(static_cast<py::ssize_t>(r), c) = t.rows[r][static_cast<std::size_t>(c)];
    return a;
}

// The values of `f` at its pixels, as dimensions (`dimension`: the pass keeps them x 100) or as
// they are, NaN elsewhere.
RealGrid at_pixels(const SparseField& f, bool dimension) {
    RealGrid out(f.at->rows, f.at->cols);
    out.fill(std::numeric_limits<double>::quiet_NaN());
    for (std::int64_t r = 0; r < f.at->rows; ++r)
        for (std::int64_t k = f.at->begin(r); k < f.at->end(r); ++k) {
            const double v = f.values[static_cast<std::size_t>(k)];
            out(r, f.at->col[static_cast<std::size_t>(k)]) = dimension ? dimension_of(v) : v;
        }
    return out;
}

py::object optional_array(std::optional<RealGrid>& grid) {
    if (!grid)
        return py::none();
    py::object a = to_numpy(std::move(*grid));
    grid.reset();
    return a;
}

// A value of the provenance as Python has it: whole numbers as int.
py::object provenance_value(const std::string& text) {
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec == std::errc() && ptr == end && !text.empty())
        return py::int_(v);
    return py::str(text);
}

}  // namespace

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

ByteGrid network_grid(const py::handle& network, Engine engine) {
    py::array a = py::module_::import("numpy").attr("asarray")(network);
    if (a.ndim() != 2)
        raise(PyExc_ValueError, "network: a two-dimensional array is needed, not one of " +
                                    std::to_string(a.ndim()) + " dimensions");
    const char kind = a.dtype().kind();
    if (kind != 'b' && kind != 'i' && kind != 'u')
        raise(PyExc_TypeError, "network: an array of " + py::str(a.dtype()).cast<std::string>() +
                                   " is not a network; give integers or booleans, 1 on the "
                                   "network");
    if (!a.dtype().attr("isnative").cast<bool>())
        a = a.attr("astype")(a.dtype().attr("newbyteorder")("="));
    const std::int64_t lines = a.shape(0);
    const std::int64_t columns = a.shape(1);
    bool no_memory = false;
    if (const auto problem = raster_size_problem(lines, columns, grid_bytes_per_pixel(engine),
                                                 usable_memory(), &no_memory))
        raise(no_memory ? PyExc_MemoryError : PyExc_ValueError,
              "network: " + std::to_string(lines) + " lines and " + std::to_string(columns) +
                  " columns: " + *problem);
    ByteGrid tab(lines, columns);
    if (!copy_by_type(a, tab))
        raise(PyExc_TypeError,
              "network: integers of " + std::to_string(a.itemsize()) + " bytes are not supported");
    return tab;
}

void Collector::image(const ImageProduct& p) {
    images_.push_back({&p.info, p.image, p.min, p.max});
    tables_.push_back(image_table(p.info, p.counts, p.min, p.max));
}

void Collector::r2_table(const R2Product& p) {
    tables_.push_back(ds::r2_table(p.info, p.counts));
}

void Collector::add_dense(std::string_view name, const RealGrid& g) {
    const LayerInfo& info = layer(name);
    FloatGrid cells(g.rows(), g.cols());
    for (std::int64_t r = 0; r < g.rows(); ++r)
        dense_layer_row(info.source, g, 0, r, margin_, g.rows(), cells.row(r));
    layers_.push_back({&info, std::move(cells)});
}

void Collector::add_sparse(std::string_view name, const SparseField& f) {
    const LayerInfo& info = layer(name);
    FloatGrid cells(f.at->rows, f.at->cols);
    for (std::int64_t r = 0; r < f.at->rows; ++r)
        sparse_layer_row(info.source, f, 0, r, cells.row(r));
    layers_.push_back({&info, std::move(cells)});
}

void Collector::taco_field(const RealGrid& dtab2) {
    taco_ = dtab2;
    add_dense("TACO", dtab2);
}

void Collector::fdp_fields(const SparseField& dimension, const SparseField& dimension2) {
    fdp_ = at_pixels(dimension, true);
    fdp2_ = at_pixels(dimension2, true);
    add_sparse("FDP", dimension);
    add_sparse("FDP2", dimension2);
}

void Collector::r2_fields(const SparseField& r2, const SparseField& r2_2) {
    fdp_r2_ = at_pixels(r2, false);
    fdp2_r2_ = at_pixels(r2_2, false);
    add_sparse("FDP_R2", r2);
    add_sparse("FDP2_R2", r2_2);
}

void Collector::fdp_regional_field(bool second, const FloatGrid& dimensions) {
    RealGrid& out = (second ? fdp_ri2_ : fdp_ri_).emplace(dimensions.rows(), dimensions.cols());
    std::copy(dimensions.data(), dimensions.data() + dimensions.size(), out.data());
    // The regional dimensions arrive as the cells of their layer.
    layers_.push_back({&layer(second ? "FDP_RI2" : "FDP_RI"), dimensions});
}

void Collector::taco_regional_field(const RealGrid& smoothed) {
    taco_ri_ = smoothed;
    add_dense("TACO_RI", smoothed);
}

py::dict Collector::result(const AnalysisParameters& p, const AnalysisSummary& summary) {
    py::dict images, tables, extremes;
    for (Image& i : images_) {
        const py::str name(std::string(i.info->name));
        images[name] = to_numpy(std::move(i.image));
        extremes[name] = py::make_tuple(i.min, i.max);
    }
    images_.clear();
    for (const FrequencyTable& t : tables_)
        tables[py::str(std::string(t.info->name))] = table_array(t);
    py::dict parameters;
    for (const auto& [key, value] : provenance(p))
        parameters[py::str(key)] = provenance_value(value);
    py::dict result;
    result["images"] = images;
    result["tables"] = tables;
    result["extremes"] = extremes;
    result["taco"] = optional_array(taco_);
    result["fdp"] = optional_array(fdp_);
    result["fdp2"] = optional_array(fdp2_);
    result["fdp_r2"] = optional_array(fdp_r2_);
    result["fdp2_r2"] = optional_array(fdp2_r2_);
    result["taco_ri"] = optional_array(taco_ri_);
    result["fdp_ri"] = optional_array(fdp_ri_);
    result["fdp_ri2"] = optional_array(fdp_ri2_);
    if (!layers_.empty()) {
        // In the order of kLayers, whatever the order of arrival.
        std::stable_sort(layers_.begin(), layers_.end(), [](const Layer& a, const Layer& b) {
            return a.info - kLayers.data() < b.info - kLayers.data();
        });
        py::dict layers;
        for (Layer& l : layers_)
            layers[py::str(std::string(l.info->name))] = to_numpy(std::move(l.cells));
        result["layers"] = layers;
    } else {
        result["layers"] = py::none();
    }
    layers_.clear();
    result["parameters"] = parameters;
    result["processed"] = summary.processed;
    return result;
}

namespace {

// One column of `rows`: `get` of each row.
template <class T, class Row, class Get>
py::array_t<T> column(const std::vector<Row>& rows, Get get) {
    py::array_t<T> a(static_cast<py::ssize_t>(rows.size()));
    T* out = a.mutable_data();
    for (std::size_t k = 0; k < rows.size(); ++k)
        out[k] = static_cast<T>(get(rows[k]));
    return a;
}

template <class Row>
void stats_columns(py::dict& d, const std::vector<Row>& rows, bool both) {
    d["taco_mean"] = column<double>(rows, [](const Row& r) { return r.stats.taco_mean; });
    d["taco_min"] = column<double>(rows, [](const Row& r) { return r.stats.taco_min; });
    d["taco_max"] = column<double>(rows, [](const Row& r) { return r.stats.taco_max; });
    d["meander_share"] = column<double>(rows, [](const Row& r) { return r.stats.meander_share; });
    if (!both)
        return;
    d["fdp_mean"] = column<double>(rows, [](const Row& r) { return r.stats.fdp_mean; });
    d["fdp2_mean"] = column<double>(rows, [](const Row& r) { return r.stats.fdp2_mean; });
    d["r2_mean"] = column<double>(rows, [](const Row& r) { return r.stats.r2_mean; });
}

}  // namespace

void add_tables(py::dict& result, const NetworkTables& t) {
    using S = SegmentRow;
    using Y = SystemRow;
    const auto& s = t.segments;
    py::dict seg;
    seg["id"] = column<std::int64_t>(s, [](const S& r) { return r.id; });
    seg["from_node"] = column<std::int64_t>(s, [](const S& r) { return r.from_node; });
    seg["to_node"] = column<std::int64_t>(s, [](const S& r) { return r.to_node; });
    seg["pixels"] = column<std::int64_t>(s, [](const S& r) { return r.pixels; });
    seg["length"] = column<double>(s, [](const S& r) { return r.length; });
    seg["straight"] = column<double>(s, [](const S& r) { return r.straight; });
    seg["sinuosity"] = column<double>(s, [](const S& r) { return r.sinuosity; });
    stats_columns(seg, s, t.both);
    seg["processed"] = column<std::int64_t>(s, [](const S& r) { return r.processed; });
    seg["system"] = column<std::int64_t>(s, [](const S& r) { return r.system; });
    if (t.oriented) {
        seg["downstream"] = column<std::int64_t>(s, [](const S& r) { return r.downstream; });
        seg["strahler"] = column<std::int64_t>(s, [](const S& r) { return r.strahler; });
        seg["shreve"] = column<std::int64_t>(s, [](const S& r) { return r.shreve; });
    }
    const auto& y = t.systems;
    py::dict sys;
    sys["id"] = column<std::int64_t>(y, [](const Y& r) { return r.id; });
    sys["pixels"] = column<std::int64_t>(y, [](const Y& r) { return r.pixels; });
    sys["length"] = column<double>(y, [](const Y& r) { return r.length; });
    sys["segments"] = column<std::int64_t>(y, [](const Y& r) { return r.segments; });
    sys["ends"] = column<std::int64_t>(y, [](const Y& r) { return r.ends; });
    sys["junctions"] = column<std::int64_t>(y, [](const Y& r) { return r.junctions; });
    sys["loops"] = column<std::int64_t>(y, [](const Y& r) { return r.loops; });
    stats_columns(sys, y, t.both);
    if (t.oriented)
        sys["outlet_segment"] =
            column<std::int64_t>(y, [](const Y& r) { return r.outlet_segment; });
    result["segments"] = seg;
    result["systems"] = sys;
}

}  // namespace ds::python
