#pragma once
// The Kaiser window and the Bessel function it is built from, shared by the transform
// windows and the filter designs.
#include <algorithm>
#include <cmath>

namespace heaac {

// Zeroth-order modified Bessel function of the first kind, from its power series; 50 terms
// are exact in double precision for every argument used here (up to 6 pi).
inline double bessel_i0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// The Kaiser window of shape `beta` at r in [-1, 1] (1 at the centre, r = 0).
inline double kaiser(double r, double beta) {
    return bessel_i0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / bessel_i0(beta);
}

}  // namespace heaac
