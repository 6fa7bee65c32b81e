#include "telemetrypacket.h"

#include <cmath>

namespace vorkast {

namespace {
float nanToZero(float value)
{
    return std::isnan(value) ? 0.0f : value;
}
} // namespace

TelemetryPacket toPacket(const TelemetryData &data)
{
    TelemetryPacket packet{};
    packet.flags = static_cast<std::uint8_t>((data.valid ? TelemetryFlags::Valid : 0)
                                             | (data.trim_override ? TelemetryFlags::TrimOverride : 0)
                                             | (data.on_ground ? TelemetryFlags::OnGround : 0));
    packet.flaps = data.flaps;
    packet.airbrake = data.airbrake;
    packet.brake = data.brake;
    packet.gear = data.gear;
    packet.trim_roll = data.trim_roll;
    packet.trim_pitch = data.trim_pitch;
    packet.trim_yaw = data.trim_yaw;
    packet.thrust = nanToZero(data.thrust);
    packet.airspeed = nanToZero(data.airspeed);
    packet.vertical_speed = nanToZero(data.vertical_speed);
    packet.g_force = nanToZero(data.g_force);
    packet.aoa = nanToZero(data.aoa);
    return packet;
}

void updateHeldPacket(TelemetryPacket &held, std::uint16_t &invalidCount,
                      const TelemetryData &record)
{
    if (record.valid) {
        invalidCount = 0;
        held = toPacket(record);
        return;
    }
    if (++invalidCount > kHeldInvalidRecords) {
        held = TelemetryPacket{};
        invalidCount = kHeldInvalidRecords;
    }
}

std::uint8_t truncatedLowByte(double value)
{
    if (!std::isfinite(value))
        return 0;
    // fmod of an integral value is exact, so this is the low byte at any magnitude
    // without an out-of-range float-to-int conversion.
    const double low = std::fmod(std::trunc(value), 256.0);
    return static_cast<std::uint8_t>(static_cast<int>(low) & 0xFF);
}

} // namespace vorkast
