// The analysis run in memory for the tests: a receiver that keeps a copy of every product, a
// progress that records what it is told, and the bytes that the file set makes of the products,
// built from the formats alone.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "io/formats.h"
#include "tests/exe_runner.h"

namespace ds::test {

struct ImageCopy {
    ByteGrid image;
    Histogram counts{};
    double min = 0;
    double max = 0;
};

struct Products final : ProductReceiver {
    std::vector<std::string> order;  // product names, as handed out
    std::map<std::string, ImageCopy> images;
    std::map<std::string, R2Histogram> r2;
    RealGrid taco;              // with AnalysisParameters::fields
    RealGrid fdp, fdp2;         // idem, dense: 0.0 off the processed pixels
    RealGrid fit_r2, fit_r2_2;  // idem
    RealGrid taco_ri;
    AnalysisSummary summary;

    void image(const ImageProduct& p) override {
        order.emplace_back(p.info.name);
        images[order.back()] = {p.image, p.counts, p.min, p.max};
    }
    void r2_table(const R2Product& p) override {
        order.emplace_back(p.info.name);
        r2[order.back()] = p.counts;
    }
    void taco_field(const RealGrid& dtab2) override { taco = dtab2; }
    void fdp_fields(const SparseField& dtab, const SparseField& dtab_v2) override {
        fdp = dense(dtab);
        fdp2 = dense(dtab_v2);
    }
    void r2_fields(const SparseField& a, const SparseField& b) override {
        fit_r2 = dense(a);
        fit_r2_2 = dense(b);
    }
    void taco_regional_field(const RealGrid& smoothed) override { taco_ri = smoothed; }

    const ImageCopy& operator[](const std::string& name) const { return images.at(name); }

  private:
    static RealGrid dense(const SparseField& f) {
        RealGrid g(f.at->rows, f.at->cols);
        for (std::int64_t r = 0; r < f.at->rows; ++r)
            for (std::int64_t k = f.at->begin(r); k < f.at->end(r); ++k)
                g(r, f.at->col[static_cast<std::size_t>(k)]) =
                    f.values[static_cast<std::size_t>(k)];
        return g;
    }
};

// Every call of the analysis, one line each ("begin 0 108", "line 50 43", "saving 1 0").
struct RecordedProgress final : Progress {
    std::vector<std::string> calls;
    void begin(Stage s, std::int64_t total) override { note("begin", int(s), total); }
    void line(int line, std::int64_t done) override { note("line", line, done); }
    void step(int side, std::int64_t done) override { note("step", side, done); }
    void end(Stage s, std::int64_t items) override { note("end", int(s), items); }
    void saving(Product p) override { note("saving", int(p), 0); }

  private:
    void note(const char* what, std::int64_t a, std::int64_t b) {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
};

inline AnalysisParameters parameters(int window, int regional, int MNC,
                                     Treatment treatment = Treatment::Both) {
    AnalysisParameters p;
    p.window = window;
    p.regional = regional;
    p.mnc = MNC;
    p.treatment = treatment;
    return p;
}

// The products of `tab` (a copy: the analysis marks its isolated pixels).
inline Products analyse_copy(ByteGrid tab, const AnalysisParameters& p,
                             Progress* progress = nullptr) {
    Products out;
    NoProgress none;
    out.summary = analyse(tab, p, out, progress != nullptr ? *progress : none);
    return out;
}

inline ByteGrid grid_of_bytes(const std::string& bytes, int rows, int cols) {
    ByteGrid g(rows, cols);
    std::copy(bytes.begin(), bytes.end(), g.data());
    return g;
}

// What `write` puts in a fresh file.
template <class Write>
std::string written(Write write, OutFile::Mode mode = OutFile::Mode::Text) {
    const TempDir dir;
    OutFile f(dir.file("out"), mode);
    write(f);
    f.close();
    return read_file(dir.file("out"));
}

// What write_table puts in a file.
inline std::string table_bytes(const FrequencyTable& t) {
    return written([&](OutFile& f) { write_table(f, t); });
}

// The file set of `products`, by suffix ("_TAC_DN.raw"), from the formats: each image's bytes,
// its descriptor and table, and the R² tables.
inline std::map<std::string, std::string> file_set_of(const Products& products,
                                                      const RiverDescriptor& river,
                                                      const AnalysisParameters& p) {
    std::map<std::string, std::string> files;
    for (const auto& [name, c] : products.images) {
        const ProductInfo& info = *find_product(name);
        const std::string s(info.suffix);
        files[s + ".raw"].assign(c.image.data(), c.image.data() + c.image.size());
        files[s + ".txt"] = descriptor_text(river, p, {info, c.image, c.counts, c.min, c.max});
        files[s + ".xls"] = table_bytes(image_table(info, c.counts, c.min, c.max));
    }
    for (const auto& [name, counts] : products.r2)
        files[std::string(find_product(name)->suffix) + ".xls"] =
            table_bytes(r2_table(*find_product(name), counts));
    return files;
}

}  // namespace ds::test
