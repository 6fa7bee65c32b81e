#pragma once

#include "records.h"

#include <cstddef>
#include <cstdint>
#include <span>

class QWidget;

// Moves settings records into the window's controls and back. Each record has
// one table of (control object name, field offset, conversion), walked in both
// directions; controls are found by object name below `root`.
namespace vorkast::settings {

enum class Conversion {
    UInt8,       // uint8  <-> QSpinBox: zero-extended; low 8 bits back
    Int8,        // int8   <-> QSpinBox: sign-extended; low 8 bits back
    Index,       // uint8  <-> QComboBox current index; low 8 bits back
    WholeFloat,  // float  <-> QSpinBox: truncated toward zero; the integer back as float
    Hertz,       // float  <-> QDoubleSpinBox: widened; rounded to the nearest float back
    OnOff,       // uint8  <-> QCheckBox: checked when not 0; stored as 0 / 1
    Direction,   // int8   <-> QCheckBox "Invert": checked only for 1; stored as 1 / -1
    Percent,     // float fraction <-> QSpinBox percent: nearest whole percent; value / 100 back
    UInt16,      // uint16 <-> QSpinBox: zero-extended; low 16 bits back
    Gain,        // float  <-> QLineEdit: 'g' 6 digits; C-locale parse, bad text 0.0
};

struct FieldBinding
{
    const char *control;
    std::size_t offset;
    Conversion conversion;
};

std::span<const FieldBinding> joystickEffectBindings();
std::span<const FieldBinding> pedalsEffectBindings();
std::span<const FieldBinding> joystickHardwareBindings();
std::span<const FieldBinding> pedalsHardwareBindings();

// Generic walks over a record image of `size` bytes. A control that is missing
// or of another class than the conversion needs is skipped.
void recordToControls(const std::uint8_t *record, std::size_t size,
                      std::span<const FieldBinding> bindings, QWidget *root);
void controlsToRecord(std::uint8_t *record, std::size_t size,
                      std::span<const FieldBinding> bindings, const QWidget *root);

// Full-scale constants every copy from the controls writes into an effect record.
constexpr float kGForceFullScale = 10.0f;
constexpr float kAoaFullScale = 30.0f;

void showJoystickEffects(const JoystickSoftwareSettings &record, QWidget *root);
void storeJoystickEffects(JoystickSoftwareSettings &record, const QWidget *root);
void showPedalsEffects(const PedalsSoftwareSettings &record, QWidget *root);
void storePedalsEffects(PedalsSoftwareSettings &record, const QWidget *root);
void showJoystickHardware(const JoystickHardwareSettings &record, QWidget *root);
void storeJoystickHardware(JoystickHardwareSettings &record, const QWidget *root);
void showPedalsHardware(const PedalsHardwareSettings &record, QWidget *root);
void storePedalsHardware(PedalsHardwareSettings &record, const QWidget *root);

} // namespace vorkast::settings
