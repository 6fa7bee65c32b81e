#pragma once

#include "fuzzcheck.h"
#include "telemetrypacket.h"

#include <cmath>

// No NaN ever travels to a controller.
inline void checkPacket(const TelemetryData &record)
{
    const TelemetryPacket packet = vorkast::toPacket(record);
    for (float value : {packet.thrust, packet.airspeed, packet.vertical_speed, packet.g_force,
                        packet.aoa})
        FUZZ_CHECK(!std::isnan(value));
}
