#pragma once

#include "curvebindings.h"
#include "telemetrypacket.h"

#include <optional>

namespace vorkast {

// What a curve's input is in the packet the controllers are sent, in the unit
// of the curve's axis; none while the packet is not valid, and never for the
// deflection curves, whose input the controllers measure themselves.
inline std::optional<double> curveInput(settings::CurveAxis axis, const TelemetryPacket &packet)
{
    if (!(packet.flags & TelemetryFlags::Valid))
        return std::nullopt;
    switch (axis) {
    case settings::CurveAxis::Deflection:
        return std::nullopt;
    case settings::CurveAxis::Aoa:
        return double(packet.aoa);
    case settings::CurveAxis::GForce:
        return double(packet.g_force);
    case settings::CurveAxis::Speed:
        return double(packet.airspeed);
    }
    return std::nullopt;
}

} // namespace vorkast
