#pragma once

#include "records.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class QWidget;

// Moves settings records into the window's controls and back. Each record has
// one table of (control object name, field offset, conversion), walked in both
// directions.
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

// The rows whose control is missing below `root` or of a class their conversion
// cannot use, by control name; empty when the table fits the form.
QStringList unresolvedControls(std::span<const FieldBinding> bindings, const QWidget *root);

// Full-scale constants every copy from the controls writes into an effect record.
constexpr float kGForceFullScale = 10.0f;
constexpr float kAoaFullScale = 30.0f;

// The controls of all four tables, looked up once in a form already set up
// below `root`, which must outlive this. A row that does not resolve is a
// broken form or table: it asserts in debug builds, and in release builds is
// reported once (qCritical) and then left out of every copy.
class SettingsControls
{
public:
    explicit SettingsControls(QWidget *root);

    void show(const JoystickSoftwareSettings &record);
    void show(const PedalsSoftwareSettings &record);
    void show(const JoystickHardwareSettings &record);
    void show(const PedalsHardwareSettings &record);

    // Effect records also get the full-scale constants.
    void store(JoystickSoftwareSettings &record) const;
    void store(PedalsSoftwareSettings &record) const;
    void store(JoystickHardwareSettings &record) const;
    void store(PedalsHardwareSettings &record) const;

    struct Control
    {
        std::size_t offset;
        Conversion conversion;
        QWidget *widget;  // of the class the conversion needs
    };

private:
    std::vector<Control> joystickEffect;
    std::vector<Control> pedalsEffect;
    std::vector<Control> joystickHardware;
    std::vector<Control> pedalsHardware;
};

} // namespace vorkast::settings
