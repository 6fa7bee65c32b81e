#pragma once

#include <cmath>
#include <cstdint>

namespace vorkast::curves {

// The input value of a curve's last point, from a record's float field:
// truncated toward zero, low 16 bits. A record read from a controller or a
// profile may hold anything, so not-a-number and infinities give 0 instead of
// an undefined float-to-integer conversion, and fmod (exact for every finite
// float) yields the low bits even of values no integer type can hold.
inline std::uint16_t axisMaximum(float value)
{
    if (!std::isfinite(value))
        return 0;
    double low = std::fmod(std::trunc(double(value)), 65536.0);
    if (low < 0)
        low += 65536.0;
    return static_cast<std::uint16_t>(low);
}

} // namespace vorkast::curves
