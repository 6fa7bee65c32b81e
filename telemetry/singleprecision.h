#pragma once

#include <cmath>
#include <limits>

namespace vorkast {

// `value` rounded to single precision as IEEE-754 rounds it. C++ leaves the
// conversion of a double beyond the float range undefined, and simulator or
// network input can be any double, so the overflow is spelled out: up to half
// a unit above the largest float it rounds down to that float, beyond it
// becomes an infinity. NaN stays NaN.
inline float toSingle(double value)
{
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kHalfUnitAboveLargest = 0x1p103;  // floats there lie 2^104 apart
    const double magnitude = std::fabs(value);
    if (!(magnitude > kLargest))  // also NaN
        return static_cast<float>(value);
    const float limit = magnitude < kLargest + kHalfUnitAboveLargest
        ? std::numeric_limits<float>::max()
        : std::numeric_limits<float>::infinity();
    return std::signbit(value) ? -limit : limit;
}

} // namespace vorkast
