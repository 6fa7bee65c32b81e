#include "settingsmapping.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>

#include <algorithm>
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

constexpr FieldBinding kJoystickEffect[] = {
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

constexpr FieldBinding kPedalsEffect[] = {
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

constexpr FieldBinding kJoystickHardware[] = {
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
constexpr FieldBinding kPedalsHardware[] = {
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

constexpr std::size_t fieldWidth(Conversion conversion)
{
    switch (conversion) {
    case C::UInt8:
    case C::Int8:
    case C::Index:
    case C::OnOff:
    case C::Direction:
        return 1;
    case C::UInt16:
        return 2;
    case C::WholeFloat:
    case C::Hertz:
    case C::Percent:
    case C::Gain:
        return 4;
    }
    return 0;
}

template <std::size_t N>
constexpr bool fitsIn(const FieldBinding (&table)[N], std::size_t recordSize)
{
    for (const FieldBinding &binding : table) {
        if (binding.offset + fieldWidth(binding.conversion) > recordSize)
            return false;
    }
    return true;
}

static_assert(fitsIn(kJoystickEffect, sizeof(JE)));
static_assert(fitsIn(kPedalsEffect, sizeof(PE)));
static_assert(fitsIn(kJoystickHardware, sizeof(JH)));
static_assert(fitsIn(kPedalsHardware, sizeof(PH)));

const QMetaObject &controlClass(Conversion conversion)
{
    switch (conversion) {
    case C::UInt8:
    case C::Int8:
    case C::UInt16:
    case C::WholeFloat:
    case C::Percent:
        return QSpinBox::staticMetaObject;
    case C::Hertz:
        return QDoubleSpinBox::staticMetaObject;
    case C::Index:
        return QComboBox::staticMetaObject;
    case C::OnOff:
    case C::Direction:
        return QCheckBox::staticMetaObject;
    case C::Gain:
        return QLineEdit::staticMetaObject;
    }
    Q_UNREACHABLE();
}

QWidget *resolve(const FieldBinding &binding, const QWidget *root)
{
    const QMetaObject &wanted = controlClass(binding.conversion);
    for (QWidget *widget : root->findChildren<QWidget *>(QLatin1StringView(binding.control))) {
        if (wanted.cast(widget))
            return widget;
    }
    return nullptr;
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

using Control = SettingsControls::Control;

// The widget's class was checked when it was resolved.
template <typename Widget>
Widget *as(const Control &control)
{
    return static_cast<Widget *>(control.widget);
}

void show(const Control &control, const std::uint8_t *at)
{
    switch (control.conversion) {
    case C::UInt8:
        as<QSpinBox>(control)->setValue(at[0]);
        return;
    case C::Int8:
        as<QSpinBox>(control)->setValue(static_cast<std::int8_t>(at[0]));
        return;
    case C::UInt16:
        as<QSpinBox>(control)->setValue(load<std::uint16_t>(at));
        return;
    case C::WholeFloat:
        as<QSpinBox>(control)->setValue(toInt(std::trunc(static_cast<double>(load<float>(at)))));
        return;
    case C::Percent:
        // 0.53 is stored as 0.529999..., which must show 53.
        as<QSpinBox>(control)->setValue(
            toInt(std::round(static_cast<double>(load<float>(at)) * 100.0)));
        return;
    case C::Hertz: {
        auto *spin = as<QDoubleSpinBox>(control);
        const double hz = load<float>(at);
        spin->setValue(std::isnan(hz) ? 0.0 : std::clamp(hz, spin->minimum(), spin->maximum()));
        return;
    }
    case C::Index:
        as<QComboBox>(control)->setCurrentIndex(at[0]);
        return;
    case C::OnOff:
        as<QCheckBox>(control)->setChecked(at[0] != 0);
        return;
    case C::Direction:
        as<QCheckBox>(control)->setChecked(static_cast<std::int8_t>(at[0]) == 1);
        return;
    case C::Gain:
        as<QLineEdit>(control)->setText(
            QString::number(static_cast<double>(load<float>(at)), 'g', 6));
        return;
    }
}

void take(const Control &control, std::uint8_t *at)
{
    switch (control.conversion) {
    case C::UInt8:
    case C::Int8:
        at[0] = static_cast<std::uint8_t>(as<QSpinBox>(control)->value() & 0xFF);
        return;
    case C::UInt16:
        store(at, static_cast<std::uint16_t>(as<QSpinBox>(control)->value() & 0xFFFF));
        return;
    case C::WholeFloat:
        store(at, static_cast<float>(as<QSpinBox>(control)->value()));
        return;
    case C::Percent:
        store(at, static_cast<float>(as<QSpinBox>(control)->value() / 100.0));
        return;
    case C::Hertz:
        store(at, static_cast<float>(as<QDoubleSpinBox>(control)->value()));
        return;
    case C::Index:
        // A selector showing no item (the byte was out of its range) keeps the byte.
        if (const int index = as<QComboBox>(control)->currentIndex(); index >= 0)
            at[0] = static_cast<std::uint8_t>(index & 0xFF);
        return;
    case C::OnOff:
        at[0] = as<QCheckBox>(control)->isChecked() ? 1 : 0;
        return;
    case C::Direction:
        at[0] = as<QCheckBox>(control)->isChecked() ? 0x01 : 0xFF;
        return;
    case C::Gain: {
        bool ok = false;
        float gain = as<QLineEdit>(control)->text().toFloat(&ok);
        // "nan", "inf" and overflow parse, but must never reach a motor controller.
        if (!ok || !std::isfinite(gain))
            gain = 0.0f;
        store(at, gain);
        return;
    }
    }
}

// Rows that do not resolve are named in `unresolved` and left out.
std::vector<Control> bind(std::span<const FieldBinding> bindings, const QWidget *root,
                          QStringList &unresolved)
{
    std::vector<Control> controls;
    controls.reserve(bindings.size());
    for (const FieldBinding &binding : bindings) {
        if (QWidget *widget = resolve(binding, root))
            controls.push_back({binding.offset, binding.conversion, widget});
        else
            unresolved << QLatin1StringView(binding.control);
    }
    return controls;
}

template <typename Record>
void toControls(const Record &record, const std::vector<Control> &controls)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(&record);
    for (const Control &control : controls)
        show(control, bytes + control.offset);
}

template <typename Record>
void fromControls(Record &record, const std::vector<Control> &controls)
{
    auto *bytes = reinterpret_cast<std::uint8_t *>(&record);
    for (const Control &control : controls)
        take(control, bytes + control.offset);
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

QStringList unresolvedControls(std::span<const FieldBinding> bindings, const QWidget *root)
{
    QStringList unresolved;
    bind(bindings, root, unresolved);
    return unresolved;
}

SettingsControls::SettingsControls(QWidget *root)
{
    QStringList unresolved;
    joystickEffect = bind(kJoystickEffect, root, unresolved);
    pedalsEffect = bind(kPedalsEffect, root, unresolved);
    joystickHardware = bind(kJoystickHardware, root, unresolved);
    pedalsHardware = bind(kPedalsHardware, root, unresolved);
    if (unresolved.isEmpty())
        return;
    // Those fields would silently never reach or leave the controls.
    qCritical().noquote() << "Settings controls missing from the form or of the wrong class:"
                          << unresolved.join(QStringLiteral(", "));
    Q_ASSERT_X(false, "SettingsControls", "a settings table names a control the form lacks");
}

void SettingsControls::show(const JoystickSoftwareSettings &record)
{
    toControls(record, joystickEffect);
}

void SettingsControls::show(const PedalsSoftwareSettings &record)
{
    toControls(record, pedalsEffect);
}

void SettingsControls::show(const JoystickHardwareSettings &record)
{
    toControls(record, joystickHardware);
}

void SettingsControls::show(const PedalsHardwareSettings &record)
{
    toControls(record, pedalsHardware);
}

void SettingsControls::store(JoystickSoftwareSettings &record) const
{
    fromControls(record, joystickEffect);
    writeFullScales(record);
}

void SettingsControls::store(PedalsSoftwareSettings &record) const
{
    fromControls(record, pedalsEffect);
    writeFullScales(record);
}

void SettingsControls::store(JoystickHardwareSettings &record) const
{
    fromControls(record, joystickHardware);
}

void SettingsControls::store(PedalsHardwareSettings &record) const
{
    fromControls(record, pedalsHardware);
}

} // namespace vorkast::settings
