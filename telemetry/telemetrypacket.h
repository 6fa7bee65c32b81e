#pragma once

#include <QMetaType>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the telemetry packet is the controllers' little-endian layout");

// One normalised telemetry record, as every source produces it. A field the
// source does not provide stays 0 / false.
struct TelemetryData
{
    bool valid = false;          // the source delivered data for this record
    bool trim_override = false;  // the source supplies trim positions
    bool on_ground = false;
    std::uint8_t flaps = 0;      // percent 0..100
    std::uint8_t airbrake = 0;   // percent 0..100
    std::uint8_t brake = 0;      // percent 0..100
    std::uint8_t gear = 0;       // percent 0..100
    float thrust = 0.0f;         // kg
    std::int8_t trim_roll = 0;   // percent -100..100
    std::int8_t trim_pitch = 0;
    std::int8_t trim_yaw = 0;
    float airspeed = 0.0f;       // indicated, km/h
    float vertical_speed = 0.0f; // m/s
    float g_force = 0.0f;        // G
    float aoa = 0.0f;            // degrees
};

Q_DECLARE_METATYPE(TelemetryData)

#pragma pack(push, 1)
// The wire form of one record: 28 bytes, little-endian, no padding.
struct TelemetryPacket
{
    std::uint8_t flags;  // bit 0 valid, bit 1 trim_override, bit 2 on_ground
    std::uint8_t flaps;
    std::uint8_t airbrake;
    std::uint8_t brake;
    std::uint8_t gear;
    std::int8_t trim_roll;
    std::int8_t trim_pitch;
    std::int8_t trim_yaw;
    float thrust;
    float airspeed;
    float vertical_speed;
    float g_force;
    float aoa;
};
#pragma pack(pop)

static_assert(sizeof(TelemetryPacket) == 28);
static_assert(offsetof(TelemetryPacket, trim_roll) == 5);
static_assert(offsetof(TelemetryPacket, thrust) == 8);
static_assert(offsetof(TelemetryPacket, airspeed) == 12);
static_assert(offsetof(TelemetryPacket, aoa) == 24);

namespace TelemetryFlags {
constexpr std::uint8_t Valid = 0x01;
constexpr std::uint8_t TrimOverride = 0x02;
constexpr std::uint8_t OnGround = 0x04;
}

namespace vorkast {

// The packet of a record; a NaN in any float field travels as 0.0.
TelemetryPacket toPacket(const TelemetryData &data);

// The packet's bytes in wire order, as a controller receives them.
inline std::array<std::uint8_t, sizeof(TelemetryPacket)> packetBytes(const TelemetryPacket &packet)
{
    return std::bit_cast<std::array<std::uint8_t, sizeof(TelemetryPacket)>>(packet);
}

// Consecutive invalid records for which the last valid packet is still sent
// (one second at one record per 20 ms tick); the next one blanks the packet.
constexpr std::uint16_t kHeldInvalidRecords = 50;

// Folds one record into the packet held for the controllers: a valid record
// replaces it and resets `invalidCount`; an invalid one keeps it, valid bit
// included, until more than kHeldInvalidRecords in a row have arrived, then
// zeroes all of it. `invalidCount` stays at kHeldInvalidRecords while blanked.
void updateHeldPacket(TelemetryPacket &held, std::uint16_t &invalidCount,
                      const TelemetryData &record);

// A fraction 0..1 times this is a percentage. An int, so that each source keeps
// the precision (float or double) it computes in.
constexpr int kPercentPerFraction = 100;

// `value` truncated toward zero, low 8 bits: how fractions x 100 and
// percentages become record bytes. Defined for every input (NaN and infinities give 0).
std::uint8_t truncatedLowByte(double value);

} // namespace vorkast
