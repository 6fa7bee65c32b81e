#pragma once

#include "fuzzcheck.h"
#include "telemetrypacket.h"

#include <cmath>
#include <cstring>

// What a record becomes on its way to a controller: no NaN ever travels, and
// the report carries the 28 packet bytes and zeros after them.
inline void checkReport(const TelemetryData &record)
{
    const TelemetryPacket packet = toPacket(record);
    for (float value : {packet.thrust, packet.airspeed, packet.vertical_speed, packet.g_force,
                        packet.aoa})
        FUZZ_CHECK(!std::isnan(value));
    const auto report = telemetryReport(packet);
    FUZZ_CHECK(std::memcmp(&report[2], &packet, sizeof packet) == 0);
    for (std::size_t i = 2 + sizeof packet; i < report.size(); ++i)
        FUZZ_CHECK(report[i] == 0);
}
