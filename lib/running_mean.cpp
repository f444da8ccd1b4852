#include "lib/running_mean.h"

#include <stdexcept>

namespace ds {

namespace {

// Stores hi + lo over the count, 0.0 for an empty window.
class MeanSink {
  public:
    explicit MeanSink(RealGrid& dst) : out_(dst.data()), cols_(dst.cols()) {}

    void emit(int, std::int64_t i, int rows, std::int64_t j, const double* hi, const double* lo,
              const int* n) {
        constexpr int G = running::kGroupRows;
        alignas(64) double mean[G];
#pragma omp simd
        for (int k = 0; k < G; ++k) {
            const double count = n[k] != 0 ? n[k] : 1;
            mean[k] = n[k] != 0 ? (hi[k] + lo[k]) / count : 0.0;
        }
        double* at = out_ + i * cols_ + j;
        for (int k = 0; k < rows; ++k)
            at[k * cols_] = mean[k];
    }

  private:
    double* out_;
    std::int64_t cols_;
};

}  // namespace

void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads) {
    if (src.rows() != dst.rows() || src.cols() != dst.cols())
        throw std::invalid_argument("moving mean grids differ in size");
    if (&src == &dst)
        throw std::invalid_argument("moving mean needs distinct grids");
    MeanSink sink(dst);
    running::window_sums(running::DenseColumns(src, half), half, threads, sink,
                         [](std::int64_t, std::int64_t) {});
}

}  // namespace ds
