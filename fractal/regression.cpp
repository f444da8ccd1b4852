#include "fractal/regression.h"

#include <cmath>

namespace ds {

namespace {

// Least-squares slope of y on x over points `first` to M-1.
double slope_from(const double* x, const double* y, int first, int M) {
    const double n = M - first;
    double X = 0.0;
    double Y = 0.0;
    double XY = 0.0;
    double X2 = 0.0;
    for (int k = first; k < M; ++k) {
        XY += x[k] * y[k];
        X += x[k];
        X2 += x[k] * x[k];
        Y += y[k];
    }
    return (n * XY - X * Y) / (n * X2 - X * X);
}

}  // namespace

double slope(const double* x, const double* y, int M) {
    return slope_from(x, y, 0, M);
}

double slope2(const double* x, const double* y, int M) {
    return slope_from(x, y, 1, M);
}

double Er_2(const double* x, const double* y, int M, int box) {
    const int deb = box == 0 ? 0 : 1;
    const int M2 = M - deb;

    double suma_x = 0.0;
    double suma_y = 0.0;
    for (int i = deb; i < M; ++i) {
        suma_x += x[i];
        suma_y += y[i];
    }
    const double Prom_x = suma_x / M2;
    const double Prom_y = suma_y / M2;

    double suma_XY = 0.0;
    double suma_dif_x2 = 0.0;
    double suma_dif_y2 = 0.0;
    for (int i = deb; i < M; ++i) {
        const double dif_x = x[i] - Prom_x;
        const double dif_y = y[i] - Prom_y;
        const double dif_x2 = dif_x * dif_x;
        const double dif_y2 = dif_y * dif_y;
        suma_XY += dif_x * dif_y;
        suma_dif_x2 += dif_x2;
        suma_dif_y2 += dif_y2;
    }

    const double XY = suma_dif_x2 * suma_dif_y2;
    const double raiz_XY = std::sqrt(XY);
    // Constant ordinates: no correlation to speak of, and no division by zero.
    const double Er = raiz_XY > 0.0 ? suma_XY / raiz_XY : 0.0;
    const double Er2 = Er * Er;
    return Er2;
}

}  // namespace ds
