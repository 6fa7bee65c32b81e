#include "testmain.h"
#include "windowrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

// The four settings records against the window's controls, through the real
// start-up read and save slots, observed as bytes at the virtual controllers.
// Offsets here are written out independently of the record types on purpose.

namespace {

enum class Record { JoystickEffect, PedalsEffect, JoystickHardware, PedalsHardware };

struct RecordInfo
{
    int size;
    bool pedals;
    bool hardware;
    const char *saveSlot;
};

RecordInfo info(Record record)
{
    switch (record) {
    case Record::JoystickEffect:
        return {223, false, false, "on_software_settings_save_clicked"};
    case Record::PedalsEffect:
        return {176, true, false, "on_pedal_software_settings_save_clicked"};
    case Record::JoystickHardware:
        return {85, false, true, "on_hardware_settings_save_clicked"};
    case Record::PedalsHardware:
        return {69, true, true, "on_pedal_hardware_settings_save_clicked"};
    }
    return {};
}

QByteArray u8(int v) { return QByteArray(1, char(v & 0xFF)); }
QByteArray u16(int v)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(v & 0xFF);
    bytes[1] = char((v >> 8) & 0xFF);
    return bytes;
}
QByteArray f32(float v)
{
    QByteArray bytes(4, '\0');
    std::memcpy(bytes.data(), &v, 4);
    return bytes;
}

// Unmapped bytes (header, reserved, curves) hold a pattern that must survive.
QByteArray background(int size)
{
    QByteArray record(size, '\0');
    for (int i = 0; i < size; ++i)
        record[i] = char((i * 7 + 3) & 0xFF);
    return record;
}

struct Field
{
    const char *control;
    int offset;
    QByteArray raw;
    QVariant shown;
};

// Every mapped field, with values that round-trip exactly.
QList<Field> fields(Record record)
{
    switch (record) {
    case Record::JoystickEffect:
        return {
            {"roll_gain_total", 4, u8(77), 77},
            {"roll_dampening_saturated_speed", 5, u8(55), 55},
            {"roll_dampening_limit", 6, u8(66), 66},
            {"pitch_gain_total", 7, u8(11), 11},
            {"pitch_dampening_saturated_speed", 8, u8(100), 100},
            {"pitch_dampening_limit", 9, u8(3), 3},
            {"joystick_gain_spring", 10, u8(12), 12},
            {"joystick_gain_constant", 11, u8(13), 13},
            {"joystick_gain_periodic", 12, u8(14), 14},
            {"joystick_vibe_min_flaps", 24, f32(2.5f), 2.5},
            {"joystick_vibe_max_flaps", 28, f32(20.0f), 20.0},
            {"joystick_vibe_scale_flaps", 32, u8(100), 100},
            {"joystick_vibe_axis_flaps", 33, u8(1), 1},
            {"joystick_vibe_min_airbrake", 45, f32(0.5f), 0.5},
            {"joystick_vibe_max_airbrake", 49, f32(7.5f), 7.5},
            {"joystick_vibe_scale_airbrake", 53, u8(0), 0},
            {"joystick_vibe_axis_airbrake", 54, u8(0), 0},
            {"joystick_vibe_min_gear", 66, f32(3.7f), 3.7},
            {"joystick_vibe_max_gear", 70, f32(9.9f), 9.9},
            {"joystick_vibe_scale_gear", 74, u8(50), 50},
            {"joystick_vibe_axis_gear", 75, u8(1), 1},
            {"joystick_vibe_min_aoa", 87, f32(0.1f), 0.1},
            {"joystick_vibe_max_aoa", 91, f32(15.0f), 15.0},
            {"joystick_vibe_scale_aoa", 95, u8(99), 99},
            {"joystick_vibe_axis_aoa", 96, u8(0), 0},
            {"joystick_vibe_min_on_ground", 108, f32(4.2f), 4.2},
            {"joystick_vibe_max_on_ground", 112, f32(6.6f), 6.6},
            {"joystick_vibe_scale_on_ground", 116, u8(1), 1},
            {"joystick_vibe_axis_on_ground", 117, u8(1), 1},
            {"roll_spring_artificial", 140, u8(21), 21},
            {"pitch_spring_artificial", 141, u8(22), 22},
            {"roll_spring_g_force", 164, u8(23), 23},
            {"pitch_spring_g_force", 165, u8(24), 24},
            {"roll_spring_aoa", 188, u8(25), 25},
            {"pitch_spring_aoa", 189, u8(26), 26},
            {"roll_spring_speed", 190, u8(250), 250},
            {"pitch_spring_speed", 191, u8(200), 200},
            {"roll_spring_thrust", 192, u8(249), 249},
            {"pitch_spring_thrust", 193, u8(128), 128},
            {"pitch_force_flaps", 194, u8(0x9C), -100},
            {"pitch_force_gear", 195, u8(0xFF), -1},
            {"pitch_force_airbrake", 196, u8(100), 100},
            {"pitch_force_elevator", 197, u8(-37), -37},
            {"joystick_jolt_gear_retraction", 198, u8(31), 31},
            {"joystick_jolt_landing", 199, u8(32), 32},
            {"joystick_maximum_speed", 200, f32(2750.0f), 2750},
            {"joystick_maximum_thrust", 212, f32(99999.0f), 99999},
            {"joystick_max_elevator_deflection", 216, u8(45), 45},
            {"joystick_max_aileron_deflection", 217, u8(99), 99},
            {"joystick_advanced_aoa", 220, u8(88), 88},
            {"joystick_stick_weight_x", 221, u8(0x9C), -100},
            {"joystick_stick_weight_y", 222, u8(57), 57},
        };
    case Record::PedalsEffect:
        return {
            {"yaw_gain_total", 4, u8(90), 90},
            {"yaw_dampening_saturated_speed", 5, u8(2), 2},
            {"yaw_dampening_limit", 6, u8(100), 100},
            {"pedals_gain_spring", 7, u8(41), 41},
            {"pedals_gain_constant", 8, u8(42), 42},
            {"pedals_gain_periodic", 9, u8(43), 43},
            {"pedals_vibe_min_flaps", 21, f32(1.5f), 1.5},
            {"pedals_vibe_max_flaps", 25, f32(2.5f), 2.5},
            {"pedals_vibe_scale_flaps", 29, u8(99), 99},
            {"pedals_vibe_axis_flaps", 30, u8(0), 0},
            {"pedals_vibe_min_airbrake", 42, f32(0.3f), 0.3},
            {"pedals_vibe_max_airbrake", 46, f32(19.9f), 19.9},
            {"pedals_vibe_scale_airbrake", 50, u8(10), 10},
            {"pedals_vibe_axis_airbrake", 51, u8(0), 0},
            {"pedals_vibe_min_gear", 63, f32(5.0f), 5.0},
            {"pedals_vibe_max_gear", 67, f32(5.5f), 5.5},
            {"pedals_vibe_scale_gear", 71, u8(0), 0},
            {"pedals_vibe_axis_gear", 72, u8(0), 0},
            {"pedals_vibe_min_aoa", 84, f32(0.1f), 0.1},
            {"pedals_vibe_max_aoa", 88, f32(0.2f), 0.2},
            {"pedals_vibe_scale_aoa", 92, u8(98), 98},
            {"pedals_vibe_axis_aoa", 93, u8(0), 0},
            {"pedals_vibe_min_on_ground", 105, f32(12.3f), 12.3},
            {"pedals_vibe_max_on_ground", 109, f32(13.4f), 13.4},
            {"pedals_vibe_scale_on_ground", 113, u8(7), 7},
            {"pedals_vibe_axis_on_ground", 114, u8(0), 0},
            {"yaw_spring_artificial", 126, u8(61), 61},
            {"yaw_spring_g_force", 138, u8(62), 62},
            {"yaw_spring_aoa", 150, u8(63), 63},
            {"yaw_spring_speed", 151, u8(100), 100},
            {"yaw_spring_thrust", 152, u8(64), 64},
            {"pedals_jolt_gear_retraction", 153, u8(65), 65},
            {"pedals_jolt_landing", 154, u8(66), 66},
            {"pedals_maximum_speed", 155, f32(1.0f), 1},
            {"pedals_maximum_thrust", 167, f32(0.0f), 0},
            {"pedals_max_rudder_deflection", 173, u8(30), 30},
        };
    case Record::JoystickHardware:
        return {
            {"joystick_force_enable", 29, u8(1), true},
            {"joystick_foc", 30, u8(0), false},
            {"joystick_calibration_mode", 31, u8(1), 1},
            {"shiftRegisterMode", 32, u8(2), 2},
            {"joystick_power_limit", 33, f32(0.75f), 75},
            {"joystick_calibration_magnitude", 37, f32(0.53f), 53},
            {"joystick_braking_limit", 41, f32(1.0f), 100},
            {"roll_encoder_direction", 45, u8(1), true},
            {"roll_motion_range", 48, u16(32765), 32765},
            {"roll_pole_pair", 50, u8(21), 21},
            {"roll_encoder_CPR", 51, u16(4000), 4000},
            {"roll_p_gain", 53, f32(0.1f), QString("0.1")},
            {"roll_i_gain", 57, f32(12.25f), QString("12.25")},
            {"pitch_encoder_direction", 61, u8(0xFF), false},
            {"pitch_motion_range", 64, u16(1000), 1000},
            {"pitch_pole_pair", 66, u8(7), 7},
            {"pitch_encoder_CPR", 67, u16(65535), 65535},
            {"pitch_p_gain", 69, f32(2e6f), QString("2e+06")},
            {"pitch_i_gain", 73, f32(-0.5f), QString("-0.5")},
            {"minDeadZone1_J", 77, u16(10), 10},
            {"minDeadZone2_J", 79, u16(20), 20},
            {"maxDeadZone1_J", 81, u16(4000), 4000},
            {"maxDeadZone2_J", 83, u16(4096), 4096},
        };
    case Record::PedalsHardware:
        return {
            {"pedals_force_enable", 29, u8(0), false},
            {"pedals_foc", 30, u8(1), true},
            {"pedals_calibration_mode", 31, u8(0), 0},
            {"pedals_power_limit", 33, f32(0.0f), 0},
            {"pedals_calibration_magnitude", 37, f32(0.59f), 59},
            {"pedals_braking_limit", 41, f32(0.33f), 33},
            {"yaw_encoder_direction", 45, u8(1), true},
            {"yaw_motion_range", 48, u16(12345), 12345},
            {"yaw_pole_pair", 50, u8(99), 99},
            {"yaw_encoder_CPR", 51, u16(0), 0},
            {"yaw_p_gain", 53, f32(3.5f), QString("3.5")},
            {"yaw_i_gain", 57, f32(0.0f), QString("0")},
            {"minDeadZone1", 61, u16(1), 1},
            {"minDeadZone2", 63, u16(2), 2},
            {"maxDeadZone1", 65, u16(3), 3},
            {"maxDeadZone2", 67, u16(4), 4},
        };
    }
    return {};
}

// A record the controls show and store back unchanged.
QByteArray roundTripRecord(Record record)
{
    QByteArray bytes = background(info(record).size);
    for (const Field &field : fields(record))
        bytes.replace(field.offset, field.raw.size(), field.raw);
    if (record == Record::JoystickEffect) {
        bytes.replace(204, 4, f32(10.0f));
        bytes.replace(208, 4, f32(30.0f));
    } else if (record == Record::PedalsEffect) {
        bytes.replace(159, 4, f32(10.0f));
        bytes.replace(163, 4, f32(30.0f));
    }
    return bytes;
}

VirtualController *controllerFor(WindowRig &rig, Record record)
{
    return info(record).pedals ? rig.pedals : rig.joystick;
}

void load(VirtualController *controller, Record record, const QByteArray &bytes)
{
    if (info(record).hardware)
        controller->setHardwareRecord(bytes);
    else
        controller->setEffectRecord(bytes);
}

QByteArray stored(VirtualController *controller, Record record)
{
    return info(record).hardware ? controller->hardwareRecord() : controller->effectRecord();
}

QVariant shownValue(QWidget *control)
{
    if (auto *spin = qobject_cast<QSpinBox *>(control))
        return spin->value();
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(control))
        return spin->value();
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->currentIndex();
    if (auto *check = qobject_cast<QCheckBox *>(control))
        return check->isChecked();
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    return {};
}

void setControl(QWidget *control, const QVariant &value)
{
    if (auto *spin = qobject_cast<QSpinBox *>(control))
        spin->setValue(value.toInt());
    else if (auto *spin = qobject_cast<QDoubleSpinBox *>(control))
        spin->setValue(value.toDouble());
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        combo->setCurrentIndex(value.toInt());
    else if (auto *check = qobject_cast<QCheckBox *>(control))
        check->setChecked(value.toBool());
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        edit->setText(value.toString());
}

bool sameShown(const QVariant &actual, const QVariant &expected)
{
    if (actual.typeId() == QMetaType::Double)
        return std::abs(actual.toDouble() - expected.toDouble()) < 1e-9;
    return actual == expected;
}

} // namespace

Q_DECLARE_METATYPE(Record)

class TestSettingsMapping : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir workDir;

    static void addRecordRows()
    {
        QTest::addColumn<Record>("record");
        QTest::newRow("joystick effect") << Record::JoystickEffect;
        QTest::newRow("pedals effect") << Record::PedalsEffect;
        QTest::newRow("joystick hardware") << Record::JoystickHardware;
        QTest::newRow("pedals hardware") << Record::PedalsHardware;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(workDir.isValid());
        QVERIFY(QDir::setCurrent(workDir.path()));
    }

    void readShowsEveryFieldAndSaveSendsItBack_data() { addRecordRows(); }

    void readShowsEveryFieldAndSaveSendsItBack()
    {
        QFETCH(Record, record);
        WindowRig rig(true, true);
        VirtualController *controller = controllerFor(rig, record);
        const QByteArray original = roundTripRecord(record);
        load(controller, record, original);
        rig.start();

        for (const Field &field : fields(record)) {
            QWidget *control = rig.control<QWidget>(field.control);
            QVERIFY2(control, field.control);
            const QVariant shown = shownValue(control);
            QVERIFY2(sameShown(shown, field.shown),
                     qPrintable(QStringLiteral("%1 shows %2, expected %3")
                                    .arg(field.control, shown.toString(), field.shown.toString())));
        }

        // Header, reserved and curve bytes and every field survive any number of trips.
        for (int trip = 0; trip < 3; ++trip) {
            rig.invoke(info(record).saveSlot);
            QCOMPARE(stored(controller, record).toHex(' '), original.toHex(' '));
        }
    }

    void editChangesOnlyItsField_data()
    {
        QTest::addColumn<Record>("record");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");

        auto row = [](const char *name, Record record, const char *control, QVariant value,
                      int offset, QByteArray bytes) {
            QTest::newRow(name) << record << QString(control) << value << offset << bytes;
        };
        const auto JE = Record::JoystickEffect;
        const auto PE = Record::PedalsEffect;
        const auto JH = Record::JoystickHardware;
        const auto PH = Record::PedalsHardware;
        row("int8 -100", JE, "pitch_force_gear", -100, 195, u8(0x9C));
        row("spring speed 250", JE, "pitch_spring_speed", 250, 191, u8(250));
        row("speed as float", JE, "joystick_maximum_speed", 999, 200, f32(999.0f));
        row("hz to nearest float", JE, "joystick_vibe_max_gear", 0.1, 70, f32(0.1f));
        row("axis index", JE, "joystick_vibe_axis_flaps", 0, 33, u8(0));
        row("pedals speed", PE, "pedals_maximum_speed", 3000, 155, f32(3000.0f));
        row("yaw speed stops at 100", PE, "yaw_spring_speed", 250, 151, u8(100));
        row("dead zone max 1", JH, "maxDeadZone1_J", 4096, 81, u16(4096));
        row("dead zone min 2", PH, "minDeadZone2", 4096, 63, u16(4096));
        row("cpr clamps to 16 bits", JH, "roll_encoder_CPR", 70000, 51, u16(65535));
        row("percent 100", JH, "joystick_power_limit", 100, 33, f32(1.0f));
        row("percent 0", JH, "joystick_braking_limit", 0, 41, f32(0.0f));
        row("invert off", JH, "roll_encoder_direction", false, 45, u8(0xFF));
        row("invert on", JH, "pitch_encoder_direction", true, 61, u8(0x01));
        row("force off", JH, "joystick_force_enable", false, 29, u8(0));
        row("foc on", PH, "pedals_foc", true, 30, u8(1));
        row("gain blanks ignored", JH, "roll_p_gain", QString(" 3.5 "), 53, f32(3.5f));
        row("gain decimal comma", JH, "roll_i_gain", QString("2,5"), 57, f32(0.0f));
        row("gain empty", PH, "yaw_p_gain", QString(""), 53, f32(0.0f));
        row("gain exponent", PH, "yaw_i_gain", QString("1.5e-3"), 57, f32(1.5e-3f));
        row("gain nan refused", JH, "pitch_p_gain", QString("nan"), 69, f32(0.0f));
        row("gain overflow refused", JH, "pitch_i_gain", QString("1e39"), 73, f32(0.0f));
        // The single shift-register selector belongs to the joystick.
        row("pedals keep shift register", PH, "shiftRegisterMode", 0, 32, u8(32 * 7 + 3));
    }

    void editChangesOnlyItsField()
    {
        QFETCH(Record, record);
        QFETCH(QString, control);
        QFETCH(QVariant, value);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);

        WindowRig rig(true, true);
        VirtualController *controller = controllerFor(rig, record);
        QByteArray expected = roundTripRecord(record);
        load(controller, record, expected);
        rig.start();

        QWidget *widget = rig.control<QWidget>(control.toLatin1().constData());
        QVERIFY(widget);
        setControl(widget, value);
        rig.invoke(info(record).saveSlot);

        expected.replace(offset, bytes.size(), bytes);
        QCOMPARE(stored(controller, record).toHex(' '), expected.toHex(' '));
    }

    // Values a controller or file may hold that the controls cannot show as
    // they are: what is shown, and what the next save stores.
    void conversionEdges_data()
    {
        QTest::addColumn<Record>("record");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QVariant>("shown");
        QTest::addColumn<QByteArray>("storedBytes");

        auto row = [](const char *name, Record record, const char *control, int offset,
                      QByteArray raw, QVariant shown, QByteArray storedBytes) {
            QTest::newRow(name) << record << QString(control) << offset << raw << shown
                                << storedBytes;
        };
        const auto JE = Record::JoystickEffect;
        const auto PE = Record::PedalsEffect;
        const auto JH = Record::JoystickHardware;
        const auto PH = Record::PedalsHardware;
        const float nan = std::numeric_limits<float>::quiet_NaN();
        row("speed truncates", JE, "joystick_maximum_speed", 200, f32(999.7f), 999, f32(999.0f));
        row("speed zero shows minimum", JE, "joystick_maximum_speed", 200, f32(0.0f), 1, f32(1.0f));
        row("speed huge clamps", PE, "pedals_maximum_speed", 155, f32(1e30f), 3000, f32(3000.0f));
        row("speed nan", PE, "pedals_maximum_speed", 155, f32(nan), 1, f32(1.0f));
        const float inf = std::numeric_limits<float>::infinity();
        row("speed +inf at the top", PE, "pedals_maximum_speed", 155, f32(inf), 3000, f32(3000.0f));
        row("hz +inf at the top", JE, "joystick_vibe_max_flaps", 28, f32(inf), 20.0, f32(20.0f));
        row("thrust negative", JE, "joystick_maximum_thrust", 212, f32(-5.5f), 0, f32(0.0f));
        row("hz below range", JE, "joystick_vibe_min_flaps", 24, f32(0.05f), 0.1, f32(0.1f));
        row("hz nan", PE, "pedals_vibe_max_gear", 67, f32(nan), 0.1, f32(0.1f));
        row("int8 0x9c", JE, "pitch_force_flaps", 194, u8(0x9C), -100, u8(0x9C));
        row("uint8 above range", JE, "roll_gain_total", 4, u8(200), 100, u8(100));
        row("dampening speed 0", PE, "yaw_dampening_saturated_speed", 5, u8(0), 1, u8(1));
        row("axis out of range kept", JE, "joystick_vibe_axis_gear", 75, u8(5), -1, u8(5));
        row("direction 0", JH, "roll_encoder_direction", 45, u8(0), false, u8(0xFF));
        row("direction 2", JH, "roll_encoder_direction", 45, u8(2), false, u8(0xFF));
        row("direction 0x80", PH, "yaw_encoder_direction", 45, u8(0x80), false, u8(0xFF));
        row("direction 0xff", JH, "pitch_encoder_direction", 61, u8(0xFF), false, u8(0xFF));
        row("direction 1", PH, "yaw_encoder_direction", 45, u8(1), true, u8(0x01));
        row("force enable 2", JH, "joystick_force_enable", 29, u8(2), true, u8(1));
        row("percent 0.25", JH, "joystick_power_limit", 33, f32(0.25f), 25, f32(0.25f));
        row("percent rounds", PH, "pedals_power_limit", 33, f32(0.53f), 53, f32(0.53f));
        row("percent above", JH, "joystick_braking_limit", 41, f32(2.0f), 100, f32(1.0f));
        row("percent nan", JH, "joystick_calibration_magnitude", 37, f32(nan), 0, f32(0.0f));
        row("gain 0.1", JH, "roll_p_gain", 53, f32(0.1f), QString("0.1"), f32(0.1f));
        row("gain million", PH, "yaw_i_gain", 57, f32(1234567.0f), QString("1.23457e+06"),
            f32(1234570.0f));
    }

    void conversionEdges()
    {
        QFETCH(Record, record);
        QFETCH(QString, control);
        QFETCH(int, offset);
        QFETCH(QByteArray, raw);
        QFETCH(QVariant, shown);
        QFETCH(QByteArray, storedBytes);

        WindowRig rig(true, true);
        VirtualController *controller = controllerFor(rig, record);
        QByteArray bytes = roundTripRecord(record);
        bytes.replace(offset, raw.size(), raw);
        load(controller, record, bytes);
        rig.start();

        QWidget *widget = rig.control<QWidget>(control.toLatin1().constData());
        QVERIFY(widget);
        const QVariant actual = shownValue(widget);
        QVERIFY2(sameShown(actual, shown), qPrintable(actual.toString()));

        rig.invoke(info(record).saveSlot);
        QCOMPARE(stored(controller, record).mid(offset, storedBytes.size()).toHex(' '),
                 storedBytes.toHex(' '));
    }

    // A zero-filled record, copied from the controls, gets the two full-scale
    // constants and nothing beyond the mapped fields.
    void zeroRecordGetsFullScaleConstants_data()
    {
        QTest::addColumn<Record>("record");
        QTest::addColumn<int>("gForceAt");
        QTest::addColumn<QList<int>>("untouched");
        QList<int> joystick{0, 1, 2, 3, 218, 219};
        for (int curve : {13, 34, 55, 76, 97, 118, 129, 142, 153, 166, 177})
            for (int i = 0; i < 11; ++i)
                joystick << curve + i;
        QList<int> pedals{0, 1, 2, 3, 171, 172, 174, 175};
        for (int curve : {10, 31, 52, 73, 94, 115, 127, 139})
            for (int i = 0; i < 11; ++i)
                pedals << curve + i;
        QTest::newRow("joystick") << Record::JoystickEffect << 204 << joystick;
        QTest::newRow("pedals") << Record::PedalsEffect << 159 << pedals;
    }

    void zeroRecordGetsFullScaleConstants()
    {
        QFETCH(Record, record);
        QFETCH(int, gForceAt);
        QFETCH(QList<int>, untouched);

        WindowRig rig(true, true);
        rig.start();
        rig.invoke(info(record).saveSlot);
        const QByteArray sent = stored(controllerFor(rig, record), record);
        QCOMPARE(sent.mid(gForceAt, 4).toHex(' '), QByteArray("00 00 20 41"));
        QCOMPARE(sent.mid(gForceAt + 4, 4).toHex(' '), QByteArray("00 00 f0 41"));
        for (int offset : untouched)
            QVERIFY2(sent[offset] == 0, qPrintable(QString::number(offset)));
    }
};

VORKAST_USB_TEST_MAIN(TestSettingsMapping)
#include "tst_settingsmapping.moc"
