#pragma once

#include <algorithm>

namespace dsp {

/// Where between its neighbours a sampled peak lies: the vertex of the parabola through three
/// equally spaced values, as an offset from the centre one in steps, within ±0.5. Zero when
/// the values do not curve down (a flat or one-sided stretch has no vertex to trust).
inline double parabolicPeakOffset(double dLeft, double dCentre, double dRight)
{
    const double curvature = dLeft - 2.0 * dCentre + dRight;
    return curvature < 0.0 ? std::clamp(0.5 * (dLeft - dRight) / curvature, -0.5, 0.5) : 0.0;
}

} // namespace dsp
