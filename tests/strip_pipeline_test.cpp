// The strips of a raster, run on threads of one process with an exchange in memory, give the
// products of the whole raster byte for byte, however thin the strips.
#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <thread>

#include "analysis/strip.h"
#include "tests/collect_products.h"
#include "tests/network_gen.h"

namespace ds {
namespace {

using Pack = std::function<std::vector<unsigned char>(RowRange)>;

// What the strips publish to each other at a meeting.
struct Meeting {
    explicit Meeting(int strips) : sync(strips), slots(static_cast<std::size_t>(strips)) {}
    struct Slot {
        const RealGrid* grid = nullptr;
        std::int64_t first = 0;
        const Pack* pack = nullptr;
        double value = 0;
    };
    std::barrier<> sync;
    std::vector<Slot> slots;
};

class ThreadExchange final : public StripExchange {
  public:
    ThreadExchange(Meeting& m, int k, std::vector<RowRange> owned)
        : m_(m), k_(static_cast<std::size_t>(k)), owned_(std::move(owned)) {}

    void share_rows(RealGrid& g, std::int64_t first, RowRange need) override {
        m_.slots[k_].grid = &g;
        m_.slots[k_].first = first;
        m_.sync.arrive_and_wait();
        for (std::size_t j = 0; j < owned_.size(); ++j) {
            if (j == k_)
                continue;
            copy_rows(*m_.slots[j].grid, m_.slots[j].first, g, first, common_rows(need, owned_[j]));
        }
        m_.sync.arrive_and_wait();
    }
    std::vector<RowPiece> share_packed(const Pack& pack, RowRange need) override {
        m_.slots[k_].pack = &pack;
        m_.sync.arrive_and_wait();
        std::vector<RowPiece> pieces;
        for (std::size_t j = 0; j < owned_.size(); ++j) {
            const RowRange rows = common_rows(need, owned_[j]);
            if (j != k_ && !rows.empty())
                pieces.push_back({rows, (*m_.slots[j].pack)(rows)});
        }
        m_.sync.arrive_and_wait();
        return pieces;
    }
    double largest(double value) override {
        m_.slots[k_].value = value;
        m_.sync.arrive_and_wait();
        double v = m_.slots[0].value;
        for (const auto& s : m_.slots)
            v = std::max(v, s.value);
        m_.sync.arrive_and_wait();
        return v;
    }

  private:
    Meeting& m_;
    std::size_t k_;
    std::vector<RowRange> owned_;
};

// One strip's share of every product: its own rows of the images, its counts and extremes.
struct StripShare final : StripReceiver {
    StripShare(RowRange own, std::int64_t cols) : own_(own), cols_(cols) {}
    void image(const StripImage& p) override {
        test::ImageCopy& c = images[std::string(p.info.name)];
        c.image = ByteGrid(own_.size(), cols_);
        for (std::int64_t r = own_.begin; r < own_.end; ++r)
            std::ranges::copy(p.image.row(r - p.first), c.image.row(r - own_.begin).begin());
        c.counts = p.counts;
        c.min = p.min;
        c.max = p.max;
    }
    void r2_table(const R2Product& p) override { r2[std::string(p.info.name)] = p.counts; }

    std::map<std::string, test::ImageCopy> images;
    std::map<std::string, R2Histogram> r2;

  private:
    RowRange own_;
    std::int64_t cols_;
};

// The strips' shares put together as one process would: the rows in order, the counts added, the
// extremes folded in strip order.
test::Products analyse_in_strips(const ByteGrid& raster, const AnalysisParameters& p, int n) {
    std::vector<RowRange> owned;
    for (int k = 0; k < n; ++k)
        owned.push_back(strip_rows(raster.rows(), k, n));
    Meeting meeting(n);
    std::vector<StripShare> shares;
    for (const RowRange& own : owned)
        shares.emplace_back(own, raster.cols());
    std::vector<std::thread> threads;
    for (int k = 0; k < n; ++k)
        threads.emplace_back([&, k] {
            ThreadExchange exchange(meeting, k, owned);
            NoProgress none;
            const auto read = [&](RowRange rows, ByteGrid& tab) {
                std::copy(raster.row(rows.begin).data(), raster.row(rows.begin).data() + tab.size(),
                          tab.data());
            };
            const StripPlan plan{raster.rows(), raster.cols(), owned[static_cast<std::size_t>(k)]};
            analyse_strip(plan, p, read, exchange, shares[static_cast<std::size_t>(k)], none);
        });
    for (std::thread& t : threads)
        t.join();

    test::Products whole;
    for (const auto& [name, first] : shares[0].images) {
        test::ImageCopy c{ByteGrid(raster.rows(), raster.cols()), {}, first.min, first.max};
        for (int k = 0; k < n; ++k) {
            const test::ImageCopy& s = shares[static_cast<std::size_t>(k)].images.at(name);
            std::ranges::copy(std::span(s.image.data(), s.image.size()),
                              c.image.row(owned[static_cast<std::size_t>(k)].begin).begin());
            for (std::size_t b = 0; b < c.counts.size(); ++b)
                c.counts[b] += s.counts[b];
            if (k > 0 && c.min > s.min)
                c.min = s.min;
            if (k > 0 && c.max < s.max)
                c.max = s.max;
        }
        whole.images[name] = std::move(c);
    }
    for (const auto& [name, first] : shares[0].r2) {
        R2Histogram sum{};
        for (const StripShare& s : shares)
            for (std::size_t b = 0; b < sum.size(); ++b)
                sum[b] += s.r2.at(name)[b];
        whole.r2[name] = sum;
    }
    return whole;
}

struct Case {
    int lines, cols, window, regional;
    Treatment treatment;
    Engine engine;
};

TEST(StripPipeline, StripsOnThreadsGiveTheProductsOfTheWholeRaster) {
    for (const Case& c : {Case{120, 90, 13, 49, Treatment::Both, Engine::Fast},
                          Case{110, 70, 25, 13, Treatment::Taco, Engine::Fast},
                          Case{90, 80, 13, 37, Treatment::Both, Engine::Reference},
                          Case{700, 690, 661, 661, Treatment::Both, Engine::Fast}}) {
        const ByteGrid raster = gen::network(c.lines, c.cols, 11);
        AnalysisParameters p = test::parameters(c.window, c.regional, 1, c.treatment);
        p.engine = c.engine;
        p.threads = 1;
        const test::Products whole = test::analyse_copy(raster, p);
        // Strips of 175 rows at most for the largest windows, thinner than their halos of 330.
        for (int n = 1; n <= 4; ++n) {
            const test::Products strips = analyse_in_strips(raster, p, n);
            const std::string what = std::to_string(c.window) + "/" + std::to_string(c.regional) +
                                     " on " + std::to_string(n) + " strips, " +
                                     engine_name(c.engine);
            ASSERT_EQ(strips.images.size(), whole.images.size()) << what;
            for (const auto& [name, w] : whole.images) {
                const test::ImageCopy& s = strips.images.at(name);
                EXPECT_EQ(s.image, w.image) << name << ", " << what;
                EXPECT_EQ(s.counts, w.counts) << name << ", " << what;
                EXPECT_EQ(s.min, w.min) << name << ", " << what;
                EXPECT_EQ(s.max, w.max) << name << ", " << what;
            }
            EXPECT_EQ(strips.r2, whole.r2) << what;
        }
    }
}

}  // namespace
}  // namespace ds
