#include "settingsmapping.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace vorkast::settings {

namespace {

using C = Conversion;
using JE = JoystickSoftwareSettings;
using PE = PedalsSoftwareSettings;
using JH = JoystickHardwareSettings;
using PH = PedalsHardwareSettings;

#define VIBRATION_ROWS(Record, prefix, group, member)                                      \
    FieldBinding{prefix "_vibe_scale_" group, offsetof(Record, vibrations.member.scale),   \
                 C::UInt8},                                                                \
        FieldBinding{prefix "_vibe_min_" group,                                            \
                     offsetof(Record, vibrations.member.minFrequency), C::Hertz},          \
        FieldBinding{prefix "_vibe_max_" group,                                            \
                     offsetof(Record, vibrations.member.maxFrequency), C::Hertz},          \
        FieldBinding{prefix "_vibe_axis_" group, offsetof(Record, vibrations.member.axis), \
                     C::Index}

#define AXIS_ROWS(Record, prefix, member)                                                   \
    FieldBinding{prefix "_encoder_direction", offsetof(Record, member.encoderDirection),    \
                 C::Direction},                                                             \
        FieldBinding{prefix "_motion_range", offsetof(Record, member.motionRange), C::UInt16}, \
        FieldBinding{prefix "_pole_pair", offsetof(Record, member.polePairs), C::UInt8},    \
        FieldBinding{prefix "_encoder_CPR", offsetof(Record, member.encoderCpr), C::UInt16}, \
        FieldBinding{prefix "_p_gain", offsetof(Record, member.pGain), C::Gain},            \
        FieldBinding{prefix "_i_gain", offsetof(Record, member.iGain), C::Gain}

const FieldBinding kJoystickEffect[] = {
    {"roll_gain_total", offsetof(JE, rollGainTotal), C::UInt8},
    {"roll_dampening_saturated_speed", offsetof(JE, rollDampeningSaturatedSpeed), C::UInt8},
    {"roll_dampening_limit", offsetof(JE, rollDampeningLimit), C::UInt8},
    {"pitch_gain_total", offsetof(JE, pitchGainTotal), C::UInt8},
    {"pitch_dampening_saturated_speed", offsetof(JE, pitchDampeningSaturatedSpeed), C::UInt8},
    {"pitch_dampening_limit", offsetof(JE, pitchDampeningLimit), C::UInt8},
    {"joystick_gain_spring", offsetof(JE, gainSpring), C::UInt8},
    {"joystick_gain_constant", offsetof(JE, gainConstant), C::UInt8},
    {"joystick_gain_periodic", offsetof(JE, gainPeriodic), C::UInt8},
    VIBRATION_ROWS(JE, "joystick", "flaps", flaps),
    VIBRATION_ROWS(JE, "joystick", "airbrake", airbrake),
    VIBRATION_ROWS(JE, "joystick", "gear", gear),
    VIBRATION_ROWS(JE, "joystick", "aoa", aoa),
    VIBRATION_ROWS(JE, "joystick", "on_ground", onGround),
    {"roll_spring_artificial", offsetof(JE, rollSpringArtificial), C::UInt8},
    {"pitch_spring_artificial", offsetof(JE, pitchSpringArtificial), C::UInt8},
    {"roll_spring_g_force", offsetof(JE, rollSpringGForce), C::UInt8},
    {"pitch_spring_g_force", offsetof(JE, pitchSpringGForce), C::UInt8},
    {"roll_spring_aoa", offsetof(JE, rollSpringAoa), C::UInt8},
    {"pitch_spring_aoa", offsetof(JE, pitchSpringAoa), C::UInt8},
    {"roll_spring_speed", offsetof(JE, rollSpringSpeed), C::UInt8},
    {"pitch_spring_speed", offsetof(JE, pitchSpringSpeed), C::UInt8},
    {"roll_spring_thrust", offsetof(JE, rollSpringThrust), C::UInt8},
    {"pitch_spring_thrust", offsetof(JE, pitchSpringThrust), C::UInt8},
    {"pitch_force_flaps", offsetof(JE, pitchForceFlaps), C::Int8},
    {"pitch_force_gear", offsetof(JE, pitchForceGear), C::Int8},
    {"pitch_force_airbrake", offsetof(JE, pitchForceAirbrake), C::Int8},
    {"pitch_force_elevator", offsetof(JE, pitchForceElevator), C::Int8},
    {"joystick_jolt_gear_retraction", offsetof(JE, joltGearRetraction), C::UInt8},
    {"joystick_jolt_landing", offsetof(JE, joltLanding), C::UInt8},
    {"joystick_maximum_speed", offsetof(JE, maximumSpeed), C::WholeFloat},
    {"joystick_maximum_thrust", offsetof(JE, maximumThrust), C::WholeFloat},
    {"joystick_max_elevator_deflection", offsetof(JE, maxElevatorDeflection), C::UInt8},
    {"joystick_max_aileron_deflection", offsetof(JE, maxAileronDeflection), C::UInt8},
    {"joystick_advanced_aoa", offsetof(JE, advancedAoa), C::UInt8},
    {"joystick_stick_weight_x", offsetof(JE, stickWeightX), C::Int8},
    {"joystick_stick_weight_y", offsetof(JE, stickWeightY), C::Int8},
};

const FieldBinding kPedalsEffect[] = {
    {"yaw_gain_total", offsetof(PE, yawGainTotal), C::UInt8},
    {"yaw_dampening_saturated_speed", offsetof(PE, yawDampeningSaturatedSpeed), C::UInt8},
    {"yaw_dampening_limit", offsetof(PE, yawDampeningLimit), C::UInt8},
    {"pedals_gain_spring", offsetof(PE, gainSpring), C::UInt8},
    {"pedals_gain_constant", offsetof(PE, gainConstant), C::UInt8},
    {"pedals_gain_periodic", offsetof(PE, gainPeriodic), C::UInt8},
    VIBRATION_ROWS(PE, "pedals", "flaps", flaps),
    VIBRATION_ROWS(PE, "pedals", "airbrake", airbrake),
    VIBRATION_ROWS(PE, "pedals", "gear", gear),
    VIBRATION_ROWS(PE, "pedals", "aoa", aoa),
    VIBRATION_ROWS(PE, "pedals", "on_ground", onGround),
    {"yaw_spring_artificial", offsetof(PE, yawSpringArtificial), C::UInt8},
    {"yaw_spring_g_force", offsetof(PE, yawSpringGForce), C::UInt8},
    {"yaw_spring_aoa", offsetof(PE, yawSpringAoa), C::UInt8},
    {"yaw_spring_speed", offsetof(PE, yawSpringSpeed), C::UInt8},
    {"yaw_spring_thrust", offsetof(PE, yawSpringThrust), C::UInt8},
    {"pedals_jolt_gear_retraction", offsetof(PE, joltGearRetraction), C::UInt8},
    {"pedals_jolt_landing", offsetof(PE, joltLanding), C::UInt8},
    {"pedals_maximum_speed", offsetof(PE, maximumSpeed), C::WholeFloat},
    {"pedals_maximum_thrust", offsetof(PE, maximumThrust), C::WholeFloat},
    {"pedals_max_rudder_deflection", offsetof(PE, maxRudderDeflection), C::UInt8},
};

const FieldBinding kJoystickHardware[] = {
    {"joystick_force_enable", offsetof(JH, forceEnable), C::OnOff},
    {"joystick_foc", offsetof(JH, foc), C::OnOff},
    {"joystick_calibration_mode", offsetof(JH, calibrationMode), C::Index},
    {"shiftRegisterMode", offsetof(JH, shiftRegisterMode), C::Index},
    {"joystick_power_limit", offsetof(JH, powerLimit), C::Percent},
    {"joystick_calibration_magnitude", offsetof(JH, calibrationMagnitude), C::Percent},
    {"joystick_braking_limit", offsetof(JH, brakingLimit), C::Percent},
    AXIS_ROWS(JH, "roll", roll),
    AXIS_ROWS(JH, "pitch", pitch),
    {"minDeadZone1_J", offsetof(JH, minDeadZone1), C::UInt16},
    {"minDeadZone2_J", offsetof(JH, minDeadZone2), C::UInt16},
    {"maxDeadZone1_J", offsetof(JH, maxDeadZone1), C::UInt16},
    {"maxDeadZone2_J", offsetof(JH, maxDeadZone2), C::UInt16},
};

// The window's one shift-register selector belongs to the joystick; the pedals'
// byte 32 travels back exactly as read.
const FieldBinding kPedalsHardware[] = {
    {"pedals_force_enable", offsetof(PH, forceEnable), C::OnOff},
    {"pedals_foc", offsetof(PH, foc), C::OnOff},
    {"pedals_calibration_mode", offsetof(PH, calibrationMode), C::Index},
    {"pedals_power_limit", offsetof(PH, powerLimit), C::Percent},
    {"pedals_calibration_magnitude", offsetof(PH, calibrationMagnitude), C::Percent},
    {"pedals_braking_limit", offsetof(PH, brakingLimit), C::Percent},
    AXIS_ROWS(PH, "yaw", yaw),
    {"minDeadZone1", offsetof(PH, minDeadZone1), C::UInt16},
    {"minDeadZone2", offsetof(PH, minDeadZone2), C::UInt16},
    {"maxDeadZone1", offsetof(PH, maxDeadZone1), C::UInt16},
    {"maxDeadZone2", offsetof(PH, maxDeadZone2), C::UInt16},
};

#undef VIBRATION_ROWS
#undef AXIS_ROWS

std::size_t fieldWidth(Conversion conversion)
{
    switch (conversion) {
    case C::UInt16:
        return 2;
    case C::WholeFloat:
    case C::Hertz:
    case C::Percent:
    case C::Gain:
        return 4;
    default:
        return 1;
    }
}

template <typename T>
T load(const std::uint8_t *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void store(std::uint8_t *at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

// A float from a controller or a file may be anything; never let NaN or a huge
// value reach an int conversion (undefined) or a control. Infinities clamp
// like any value beyond the range, so a control shows them at its nearest limit.
int toInt(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(value < lo ? lo : (value > hi ? hi : value));
}

void show(const FieldBinding &binding, const std::uint8_t *at, QWidget *root)
{
    switch (binding.conversion) {
    case C::UInt8:
    case C::Int8:
    case C::UInt16:
    case C::WholeFloat:
    case C::Percent: {
        auto *spin = root->findChild<QSpinBox *>(binding.control);
        if (!spin)
            return;
        int value = 0;
        switch (binding.conversion) {
        case C::UInt8:
            value = at[0];
            break;
        case C::Int8:
            value = static_cast<std::int8_t>(at[0]);
            break;
        case C::UInt16:
            value = load<std::uint16_t>(at);
            break;
        case C::WholeFloat:
            value = toInt(std::trunc(static_cast<double>(load<float>(at))));
            break;
        default:  // Percent: 0.53 is stored as 0.529999..., which must show 53
            value = toInt(std::round(static_cast<double>(load<float>(at)) * 100.0));
            break;
        }
        spin->setValue(value);
        return;
    }
    case C::Hertz:
        if (auto *spin = root->findChild<QDoubleSpinBox *>(binding.control)) {
            const double hz = load<float>(at);
            spin->setValue(std::isnan(hz) ? 0.0 : std::clamp(hz, spin->minimum(), spin->maximum()));
        }
        return;
    case C::Index:
        if (auto *combo = root->findChild<QComboBox *>(binding.control))
            combo->setCurrentIndex(at[0]);
        return;
    case C::OnOff:
        if (auto *check = root->findChild<QCheckBox *>(binding.control))
            check->setChecked(at[0] != 0);
        return;
    case C::Direction:
        if (auto *check = root->findChild<QCheckBox *>(binding.control))
            check->setChecked(static_cast<std::int8_t>(at[0]) == 1);
        return;
    case C::Gain:
        if (auto *edit = root->findChild<QLineEdit *>(binding.control))
            edit->setText(QString::number(static_cast<double>(load<float>(at)), 'g', 6));
        return;
    }
}

void take(const FieldBinding &binding, std::uint8_t *at, const QWidget *root)
{
    switch (binding.conversion) {
    case C::UInt8:
    case C::Int8:
    case C::UInt16:
    case C::WholeFloat:
    case C::Percent: {
        const auto *spin = root->findChild<QSpinBox *>(binding.control);
        if (!spin)
            return;
        const int value = spin->value();
        switch (binding.conversion) {
        case C::UInt8:
        case C::Int8:
            at[0] = static_cast<std::uint8_t>(value & 0xFF);
            break;
        case C::UInt16:
            store(at, static_cast<std::uint16_t>(value & 0xFFFF));
            break;
        case C::WholeFloat:
            store(at, static_cast<float>(value));
            break;
        default:
            store(at, static_cast<float>(value / 100.0));
            break;
        }
        return;
    }
    case C::Hertz:
        if (const auto *spin = root->findChild<QDoubleSpinBox *>(binding.control))
            store(at, static_cast<float>(spin->value()));
        return;
    case C::Index:
        // A selector showing no item (the byte was out of its range) keeps the byte.
        if (const auto *combo = root->findChild<QComboBox *>(binding.control);
            combo && combo->currentIndex() >= 0)
            at[0] = static_cast<std::uint8_t>(combo->currentIndex() & 0xFF);
        return;
    case C::OnOff:
        if (const auto *check = root->findChild<QCheckBox *>(binding.control))
            at[0] = check->isChecked() ? 1 : 0;
        return;
    case C::Direction:
        if (const auto *check = root->findChild<QCheckBox *>(binding.control))
            at[0] = check->isChecked() ? 0x01 : 0xFF;
        return;
    case C::Gain:
        if (const auto *edit = root->findChild<QLineEdit *>(binding.control)) {
            bool ok = false;
            float gain = edit->text().toFloat(&ok);
            // "nan", "inf" and overflow parse, but must never reach a motor controller.
            if (!ok || !std::isfinite(gain))
                gain = 0.0f;
            store(at, gain);
        }
        return;
    }
}

template <typename Record>
const std::uint8_t *bytesOf(const Record &record)
{
    return reinterpret_cast<const std::uint8_t *>(&record);
}

template <typename Record>
std::uint8_t *bytesOf(Record &record)
{
    return reinterpret_cast<std::uint8_t *>(&record);
}

template <typename Record>
void writeFullScales(Record &record)
{
    record.gForceFullScale = kGForceFullScale;
    record.aoaFullScale = kAoaFullScale;
}

} // namespace

std::span<const FieldBinding> joystickEffectBindings() { return kJoystickEffect; }
std::span<const FieldBinding> pedalsEffectBindings() { return kPedalsEffect; }
std::span<const FieldBinding> joystickHardwareBindings() { return kJoystickHardware; }
std::span<const FieldBinding> pedalsHardwareBindings() { return kPedalsHardware; }

void recordToControls(const std::uint8_t *record, std::size_t size,
                      std::span<const FieldBinding> bindings, QWidget *root)
{
    for (const FieldBinding &binding : bindings) {
        if (binding.offset + fieldWidth(binding.conversion) <= size)
            show(binding, record + binding.offset, root);
    }
}

void controlsToRecord(std::uint8_t *record, std::size_t size,
                      std::span<const FieldBinding> bindings, const QWidget *root)
{
    for (const FieldBinding &binding : bindings) {
        if (binding.offset + fieldWidth(binding.conversion) <= size)
            take(binding, record + binding.offset, root);
    }
}

void showJoystickEffects(const JoystickSoftwareSettings &record, QWidget *root)
{
    recordToControls(bytesOf(record), sizeof record, kJoystickEffect, root);
}

void storeJoystickEffects(JoystickSoftwareSettings &record, const QWidget *root)
{
    controlsToRecord(bytesOf(record), sizeof record, kJoystickEffect, root);
    writeFullScales(record);
}

void showPedalsEffects(const PedalsSoftwareSettings &record, QWidget *root)
{
    recordToControls(bytesOf(record), sizeof record, kPedalsEffect, root);
}

void storePedalsEffects(PedalsSoftwareSettings &record, const QWidget *root)
{
    controlsToRecord(bytesOf(record), sizeof record, kPedalsEffect, root);
    writeFullScales(record);
}

void showJoystickHardware(const JoystickHardwareSettings &record, QWidget *root)
{
    recordToControls(bytesOf(record), sizeof record, kJoystickHardware, root);
}

void storeJoystickHardware(JoystickHardwareSettings &record, const QWidget *root)
{
    controlsToRecord(bytesOf(record), sizeof record, kJoystickHardware, root);
}

void showPedalsHardware(const PedalsHardwareSettings &record, QWidget *root)
{
    recordToControls(bytesOf(record), sizeof record, kPedalsHardware, root);
}

void storePedalsHardware(PedalsHardwareSettings &record, const QWidget *root)
{
    controlsToRecord(bytesOf(record), sizeof record, kPedalsHardware, root);
}

} // namespace vorkast::settings
