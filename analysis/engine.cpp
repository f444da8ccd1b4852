#include "analysis/engine.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fractal/fdp_products.h"
#include "fractal/fdp_products_fast.h"
#include "taco/smoothing_fast.h"

namespace ds {

namespace {

// The exchange's share of rows, or nothing to do for a strip alone (so that the fast smoothing
// may chain its steps).
ShareRows sharing(const StripRows& rows, StripExchange& exchange) {
    if (rows.alone)
        return {};
    return [&exchange, first = rows.first](RealGrid& g, RowRange need) {
        exchange.share_rows(g, first, need);
    };
}

// The dimensions of rows `rows` of `f` (holding rows from `first` on): per row its count, then
// the columns, the first and the second dimensions.
std::vector<unsigned char> pack_dimensions(const FdpFields& f, std::int64_t first, RowRange rows) {
    const std::int64_t b = f.at.begin(rows.begin - first);
    const std::int64_t e = f.at.begin(rows.end - first);
    const auto n = static_cast<std::size_t>(e - b);
    std::vector<unsigned char> out(static_cast<std::size_t>(rows.size()) * sizeof(std::int64_t) +
                                   n * (sizeof(std::int32_t) + 2 * sizeof(double)));
    unsigned char* p = out.data();
    const auto put = [&p](const void* data, std::size_t bytes) {
        if (bytes > 0)
            std::memcpy(p, data, bytes);
        p += bytes;
    };
    for (std::int64_t r = rows.begin; r < rows.end; ++r) {
        const std::int64_t count = f.at.end(r - first) - f.at.begin(r - first);
        put(&count, sizeof count);
    }
    const auto ub = static_cast<std::size_t>(b);
    put(f.at.col.data() + ub, n * sizeof(std::int32_t));
    put(f.dimension.data() + ub, n * sizeof(double));
    put(f.dimension2.data() + ub, n * sizeof(double));
    return out;
}

// Appends the rows packed by pack_dimensions to `f`.
void append_dimensions(FdpFields& f, std::int64_t rows, const std::vector<unsigned char>& bytes) {
    const unsigned char* p = bytes.data();
    const auto get = [&p](void* data, std::size_t size) {
        if (size > 0)
            std::memcpy(data, p, size);
        p += size;
    };
    std::size_t n = 0;
    for (std::int64_t r = 0; r < rows; ++r) {
        std::int64_t count = 0;
        get(&count, sizeof count);
        n += static_cast<std::size_t>(count);
        f.at.row_start.push_back(f.at.row_start.back() + count);
    }
    const std::size_t at = f.at.col.size();
    f.at.col.resize(at + n);
    f.dimension.resize(at + n);
    f.dimension2.resize(at + n);
    get(f.at.col.data() + at, n * sizeof(std::int32_t));
    get(f.dimension.data() + at, n * sizeof(double));
    get(f.dimension2.data() + at, n * sizeof(double));
    f.at.rows += rows;
}

// Traces each branch once, keeps the dimensions at the processed pixels only and sums every
// window with exact running sums, packed for the largest value of the whole raster.
class FastEngine final : public AnalysisEngine {
  public:
    explicit FastEngine(int threads) : threads_(threads) {}

    PassStats first_pass(const PassInput& in, RealGrid& taco,
                         const LineCallback& on_line) override {
        return first_pass_fast(in, taco, dims_, threads_, on_line);
    }
    const FdpFields& dimensions(const ByteGrid&, int) override { return dims_; }
    void network_image(bool second, ByteGrid& image) override {
        fdp_network_image(dims_.field(second), image);
    }
    void share_dimensions(const StripRows& pass, RowRange regional,
                          StripExchange& exchange) override {
        if (pass.alone)
            return;
        const auto pack = [this, &pass](RowRange r) {
            return pack_dimensions(dims_, pass.first, r);
        };
        std::vector<RowPiece> pieces = exchange.share_packed(pack, regional);
        const auto at = std::find_if(pieces.begin(), pieces.end(), [&pass](const RowPiece& q) {
            return q.rows.begin >= pass.own.end;
        });
        pieces.insert(at, RowPiece{pass.own, pack(pass.own)});
        FdpFields f;
        f.at.cols = dims_.at.cols;
        f.at.row_start.push_back(0);
        std::int64_t next = regional.begin;
        for (const RowPiece& q : pieces) {
            if (q.rows.begin != next)
                throw std::logic_error("the rows shared between strips leave a gap");
            append_dimensions(f, q.rows.size(), q.bytes);
            next = q.rows.end;
        }
        if (next != regional.end)
            throw std::logic_error("the rows shared between strips end short");
        shared_ = std::move(f);
    }
    Histogram regional_image(bool second, int half, std::int64_t, const StripRows& pass,
                             StripExchange& exchange, ByteGrid& image, const LineCallback& on_line,
                             FloatGrid* dimensions) override {
        // The window sums are packed for the largest dimension of the whole raster.
        const double vmax =
            exchange.largest(largest_value(dims_.field(second), pass.own.from(pass.first)));
        const FdpFields& f = pass.alone ? dims_ : shared_;
        return fdp_regional_image_fast(f.field(second), half, vmax, image, threads_, on_line,
                                       dimensions);
    }
    void drop_dimensions() override {
        dims_ = FdpFields();
        shared_ = FdpFields();
    }
    RealGrid& smoothing(RealGrid& a, RealGrid& b, const StripRows& rows, int regional,
                        StripExchange& exchange, const StepCallback& on_step) override {
        // The fixed point of the sums is that of the largest value of the whole raster.
        const double vmax = exchange.largest(largest_value(a, threads_));
        return progressive_smoothing_band_fast(a, b, {rows.first, rows.raster_rows, rows.own},
                                               regional, vmax, threads_, sharing(rows, exchange),
                                               on_step);
    }
    int shared_threads() const override { return threads_; }
    std::int64_t dimension_bytes() const override { return 0; }
    std::int64_t shared_dimension_bytes() const override { return 0; }

  private:
    int threads_;
    FdpFields dims_;
    FdpFields shared_;  // the regional rows' dimensions, when other strips take part
};

// The literal algorithms, on dense grids of the raster's layout.
class ReferenceEngine final : public AnalysisEngine {
  public:
    PassStats first_pass(const PassInput& in, RealGrid& taco,
                         const LineCallback& on_line) override {
        dimension_ = RealGrid(taco.rows(), taco.cols());
        dimension2_ = RealGrid(taco.rows(), taco.cols());
        sparse_ = FdpFields();
        return ds::first_pass(in, {dimension_, dimension2_, taco, &sparse_.r2, &sparse_.r2_2},
                              on_line);
    }
    const FdpFields& dimensions(const ByteGrid& tab, int half_window) override {
        if (sparse_.at.row_start.empty()) {
            sparse_.at = eligible_pixels(tab, half_window);
            for (std::int64_t r = 0; r < sparse_.at.rows; ++r)
                for (std::int64_t k = sparse_.at.begin(r); k < sparse_.at.end(r); ++k) {
                    const std::int64_t c = sparse_.at.col[static_cast<std::size_t>(k)];
                    sparse_.dimension.push_back(dimension_(r, c));
                    sparse_.dimension2.push_back(dimension2_(r, c));
                }
        }
        return sparse_;
    }
    void network_image(bool second, ByteGrid& image) override {
        fdp_network_image(second ? dimension2_ : dimension_, image);
    }
    void share_dimensions(const StripRows&, RowRange, StripExchange&) override {}
    Histogram regional_image(bool second, int half, std::int64_t regional_first,
                             const StripRows& pass, StripExchange& exchange, ByteGrid& image,
                             const LineCallback& on_line, FloatGrid* dimensions) override {
        const RealGrid& own = second ? dimension2_ : dimension_;
        if (pass.alone)
            return fdp_regional_image(own, half, image, on_line, dimensions);
        RealGrid dense(image.rows(), image.cols());
        copy_rows(own, pass.first, dense, regional_first, pass.own);
        exchange.share_rows(dense, regional_first, {regional_first, regional_first + dense.rows()});
        return fdp_regional_image(dense, half, image, on_line, dimensions);
    }
    void drop_dimensions() override {
        dimension_ = RealGrid();
        dimension2_ = RealGrid();
        sparse_ = FdpFields();
    }
    RealGrid& smoothing(RealGrid& a, RealGrid& b, const StripRows& rows, int regional,
                        StripExchange& exchange, const StepCallback& on_step) override {
        return progressive_smoothing_band(a, b, {rows.first, rows.raster_rows, rows.own}, regional,
                                          sharing(rows, exchange), on_step);
    }
    int shared_threads() const override { return 1; }
    std::int64_t dimension_bytes() const override { return 2 * sizeof(double); }
    std::int64_t shared_dimension_bytes() const override { return sizeof(double); }

  private:
    RealGrid dimension_, dimension2_;  // DF and DF_V2 x 100 of the pass's rows
    FdpFields sparse_;                 // the same at the processed pixels, when handed out
};

}  // namespace

std::unique_ptr<AnalysisEngine> make_engine(Engine engine, int threads) {
    if (engine == Engine::Fast)
        return std::make_unique<FastEngine>(threads);
    return std::make_unique<ReferenceEngine>();
}

}  // namespace ds
