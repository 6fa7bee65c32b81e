#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// Settings records exactly as the controllers store them and as profile files
// hold them: packed, little-endian, 32-bit IEEE floats at any offset.
//
// Header bytes and reserved bytes are never interpreted; they keep whatever the
// controller or a profile delivered and travel back unchanged. Never take a
// pointer or reference to a multi-byte member: copy the member by value.

static_assert(std::endian::native == std::endian::little,
              "records are byte images of the controllers' little-endian layout");

#pragma pack(push, 1)

// Point i (0..10) is the effect magnitude in percent at i tenths of the curve's input range.
struct ResponseCurve
{
    std::int8_t points[11];
};

struct VibrationEffect
{
    ResponseCurve curve;  // magnitude over speed (km/h); over AoA for the AoA group
    float minFrequency;   // Hz
    float maxFrequency;   // Hz
    std::uint8_t scale;   // percent
    std::uint8_t axis;    // item index of the effect-axis selector
};

// Vibration groups in record order.
struct VibrationEffects
{
    VibrationEffect flaps;
    VibrationEffect airbrake;
    VibrationEffect gear;
    VibrationEffect aoa;
    VibrationEffect onGround;
};

struct JoystickSoftwareSettings
{
    std::uint8_t header[4];
    std::uint8_t rollGainTotal;
    std::uint8_t rollDampeningSaturatedSpeed;
    std::uint8_t rollDampeningLimit;
    std::uint8_t pitchGainTotal;
    std::uint8_t pitchDampeningSaturatedSpeed;
    std::uint8_t pitchDampeningLimit;
    std::uint8_t gainSpring;
    std::uint8_t gainConstant;
    std::uint8_t gainPeriodic;
    VibrationEffects vibrations;
    ResponseCurve rollCurveArtificial;
    ResponseCurve pitchCurveArtificial;
    std::uint8_t rollSpringArtificial;  // percent
    std::uint8_t pitchSpringArtificial;
    ResponseCurve rollCurveGForce;
    ResponseCurve pitchCurveGForce;
    std::uint8_t rollSpringGForce;
    std::uint8_t pitchSpringGForce;
    ResponseCurve rollCurveAoa;
    ResponseCurve pitchCurveAoa;
    std::uint8_t rollSpringAoa;
    std::uint8_t pitchSpringAoa;
    std::uint8_t rollSpringSpeed;
    std::uint8_t pitchSpringSpeed;
    std::uint8_t rollSpringThrust;
    std::uint8_t pitchSpringThrust;
    std::int8_t pitchForceFlaps;
    std::int8_t pitchForceGear;
    std::int8_t pitchForceAirbrake;
    std::int8_t pitchForceElevator;
    std::uint8_t joltGearRetraction;
    std::uint8_t joltLanding;
    float maximumSpeed;      // km/h; also the input range of the speed curves
    float gForceFullScale;   // input range of the G-force curves; written as 10.0
    float aoaFullScale;      // degrees; written as 30.0
    float maximumThrust;     // kg
    std::uint8_t maxElevatorDeflection;  // degrees
    std::uint8_t maxAileronDeflection;   // degrees
    std::uint8_t reserved218[2];
    std::uint8_t advancedAoa;
    std::int8_t stickWeightX;
    std::int8_t stickWeightY;
};

struct PedalsSoftwareSettings
{
    std::uint8_t header[4];
    std::uint8_t yawGainTotal;
    std::uint8_t yawDampeningSaturatedSpeed;
    std::uint8_t yawDampeningLimit;
    std::uint8_t gainSpring;
    std::uint8_t gainConstant;
    std::uint8_t gainPeriodic;
    VibrationEffects vibrations;
    ResponseCurve yawCurveArtificial;
    std::uint8_t yawSpringArtificial;
    ResponseCurve yawCurveGForce;
    std::uint8_t yawSpringGForce;
    ResponseCurve yawCurveAoa;
    std::uint8_t yawSpringAoa;
    std::uint8_t yawSpringSpeed;
    std::uint8_t yawSpringThrust;
    std::uint8_t joltGearRetraction;
    std::uint8_t joltLanding;
    float maximumSpeed;
    float gForceFullScale;
    float aoaFullScale;
    float maximumThrust;
    std::uint8_t reserved171[2];
    std::uint8_t maxRudderDeflection;
    std::uint8_t reserved174[2];
};

struct AxisHardwareSettings
{
    std::int8_t encoderDirection;  // 1 inverted, -1 not
    std::uint8_t reserved[2];
    std::uint16_t motionRange;     // encoder counts
    std::uint8_t polePairs;
    std::uint16_t encoderCpr;      // counts per revolution
    float pGain;
    float iGain;
};

struct JoystickHardwareSettings
{
    std::uint8_t header[4];
    std::uint8_t reserved4[25];
    std::uint8_t forceEnable;       // 0 off, otherwise on
    std::uint8_t foc;               // 0 off, otherwise on
    std::uint8_t calibrationMode;   // centring mode
    std::uint8_t shiftRegisterMode;
    float powerLimit;               // fraction, 1.0 = 100 %
    float calibrationMagnitude;     // fraction
    float brakingLimit;             // fraction
    AxisHardwareSettings roll;
    AxisHardwareSettings pitch;
    // Minimum, minimum, maximum, maximum: not grouped by axis.
    std::uint16_t minDeadZone1;
    std::uint16_t minDeadZone2;
    std::uint16_t maxDeadZone1;
    std::uint16_t maxDeadZone2;
};

struct PedalsHardwareSettings
{
    std::uint8_t header[4];
    std::uint8_t reserved4[25];
    std::uint8_t forceEnable;
    std::uint8_t foc;
    std::uint8_t calibrationMode;
    std::uint8_t shiftRegisterMode;
    float powerLimit;
    float calibrationMagnitude;
    float brakingLimit;
    AxisHardwareSettings yaw;
    std::uint16_t minDeadZone1;
    std::uint16_t minDeadZone2;
    std::uint16_t maxDeadZone1;
    std::uint16_t maxDeadZone2;
};

#pragma pack(pop)

static_assert(sizeof(ResponseCurve) == 11);
static_assert(sizeof(VibrationEffect) == 21);
static_assert(sizeof(AxisHardwareSettings) == 16);
static_assert(sizeof(JoystickSoftwareSettings) == 223);
static_assert(sizeof(PedalsSoftwareSettings) == 176);
static_assert(sizeof(JoystickHardwareSettings) == 85);
static_assert(sizeof(PedalsHardwareSettings) == 69);

// Offsets the controllers, profile files and the curve editor rely on.
static_assert(offsetof(VibrationEffect, minFrequency) == 11);
static_assert(offsetof(VibrationEffect, scale) == 19);
static_assert(offsetof(AxisHardwareSettings, motionRange) == 3);
static_assert(offsetof(AxisHardwareSettings, encoderCpr) == 6);
static_assert(offsetof(AxisHardwareSettings, pGain) == 8);

static_assert(offsetof(JoystickSoftwareSettings, vibrations) == 13);
static_assert(offsetof(JoystickSoftwareSettings, vibrations.onGround) == 97);
static_assert(offsetof(JoystickSoftwareSettings, rollCurveArtificial) == 118);
static_assert(offsetof(JoystickSoftwareSettings, rollSpringArtificial) == 140);
static_assert(offsetof(JoystickSoftwareSettings, rollCurveGForce) == 142);
static_assert(offsetof(JoystickSoftwareSettings, rollCurveAoa) == 166);
static_assert(offsetof(JoystickSoftwareSettings, pitchCurveAoa) == 177);
static_assert(offsetof(JoystickSoftwareSettings, pitchForceFlaps) == 194);
static_assert(offsetof(JoystickSoftwareSettings, maximumSpeed) == 200);
static_assert(offsetof(JoystickSoftwareSettings, gForceFullScale) == 204);
static_assert(offsetof(JoystickSoftwareSettings, aoaFullScale) == 208);
static_assert(offsetof(JoystickSoftwareSettings, maximumThrust) == 212);
static_assert(offsetof(JoystickSoftwareSettings, reserved218) == 218);
static_assert(offsetof(JoystickSoftwareSettings, stickWeightY) == 222);

static_assert(offsetof(PedalsSoftwareSettings, vibrations) == 10);
static_assert(offsetof(PedalsSoftwareSettings, yawCurveArtificial) == 115);
static_assert(offsetof(PedalsSoftwareSettings, yawCurveGForce) == 127);
static_assert(offsetof(PedalsSoftwareSettings, yawCurveAoa) == 139);
static_assert(offsetof(PedalsSoftwareSettings, joltGearRetraction) == 153);
static_assert(offsetof(PedalsSoftwareSettings, maximumSpeed) == 155);
static_assert(offsetof(PedalsSoftwareSettings, gForceFullScale) == 159);
static_assert(offsetof(PedalsSoftwareSettings, aoaFullScale) == 163);
static_assert(offsetof(PedalsSoftwareSettings, maximumThrust) == 167);
static_assert(offsetof(PedalsSoftwareSettings, maxRudderDeflection) == 173);

static_assert(offsetof(JoystickHardwareSettings, forceEnable) == 29);
static_assert(offsetof(JoystickHardwareSettings, shiftRegisterMode) == 32);
static_assert(offsetof(JoystickHardwareSettings, powerLimit) == 33);
static_assert(offsetof(JoystickHardwareSettings, brakingLimit) == 41);
static_assert(offsetof(JoystickHardwareSettings, roll) == 45);
static_assert(offsetof(JoystickHardwareSettings, pitch) == 61);
static_assert(offsetof(JoystickHardwareSettings, minDeadZone1) == 77);
static_assert(offsetof(JoystickHardwareSettings, maxDeadZone1) == 81);
static_assert(offsetof(PedalsHardwareSettings, yaw) == 45);
static_assert(offsetof(PedalsHardwareSettings, minDeadZone1) == 61);
static_assert(offsetof(PedalsHardwareSettings, maxDeadZone2) == 67);
