#include "settingsmapping.h"
#include "testbytes.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include <cstring>
#include <limits>
#include <optional>

// The four settings records against the controls of the window's form, set up
// as the window sets it up. Offsets here are written out independently of the
// record types on purpose.

using namespace vorkast::settings;

namespace {

enum class Record { JoystickEffect, PedalsEffect, JoystickHardware, PedalsHardware };
constexpr Record JE = Record::JoystickEffect, PE = Record::PedalsEffect,
                 JH = Record::JoystickHardware, PH = Record::PedalsHardware;

// Calls `visit` with a record of the type `record` names.
template <typename Visit>
void withRecord(Record record, Visit visit)
{
    switch (record) {
    case JE:
        return visit(JoystickSoftwareSettings{});
    case PE:
        return visit(PedalsSoftwareSettings{});
    case JH:
        return visit(JoystickHardwareSettings{});
    case PH:
        return visit(PedalsHardwareSettings{});
    }
}

int sizeOf(Record record)
{
    int size = 0;
    withRecord(record, [&](auto image) { size = int(sizeof image); });
    return size;
}

void show(SettingsControls &controls, Record record, const QByteArray &bytes)
{
    withRecord(record, [&](auto image) {
        std::memcpy(&image, bytes.constData(), sizeof image);
        controls.show(image);
    });
}

// `bytes` with what the controls hold stored into them.
QByteArray stored(const SettingsControls &controls, Record record, const QByteArray &bytes)
{
    QByteArray result;
    withRecord(record, [&](auto image) {
        std::memcpy(&image, bytes.constData(), sizeof image);
        controls.store(image);
        result = bytesOf(image);
    });
    return result;
}

QByteArray u8(int v) { return QByteArray(1, char(v & 0xFF)); }

// Unmapped bytes (header, reserved, curves) hold a pattern that must survive.
QByteArray background(Record record) { return patterned(sizeOf(record), 3, 7, 256); }

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
    case JE:
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
    case PE:
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
    case JH:
        return {
            {"joystick_force_enable", 29, u8(1), true},
            {"joystick_foc", 30, u8(0), false},
            {"joystick_calibration_mode", 31, u8(1), 1},
            {"shiftRegisterMode", 32, u8(2), 2},
            {"joystick_power_limit", 33, f32(0.75f), 75},
            {"joystick_calibration_magnitude", 37, f32(0.53f), 53},
            {"joystick_braking_limit", 41, f32(1.0f), 100},
            {"roll_encoder_direction", 45, u8(1), true},
            {"roll_motion_range", 48, le16(32765), 32765},
            {"roll_pole_pair", 50, u8(21), 21},
            {"roll_encoder_CPR", 51, le16(4000), 4000},
            {"roll_p_gain", 53, f32(0.1f), QString("0.1")},
            {"roll_i_gain", 57, f32(12.25f), QString("12.25")},
            {"pitch_encoder_direction", 61, u8(0xFF), false},
            {"pitch_motion_range", 64, le16(1000), 1000},
            {"pitch_pole_pair", 66, u8(7), 7},
            {"pitch_encoder_CPR", 67, le16(65535), 65535},
            {"pitch_p_gain", 69, f32(2e6f), QString("2e+06")},
            {"pitch_i_gain", 73, f32(-0.5f), QString("-0.5")},
            {"minDeadZone1_J", 77, le16(10), 10},
            {"minDeadZone2_J", 79, le16(20), 20},
            {"maxDeadZone1_J", 81, le16(4000), 4000},
            {"maxDeadZone2_J", 83, le16(4096), 4096},
        };
    case PH:
        return {
            {"pedals_force_enable", 29, u8(0), false},
            {"pedals_foc", 30, u8(1), true},
            {"pedals_calibration_mode", 31, u8(0), 0},
            {"pedals_power_limit", 33, f32(0.0f), 0},
            {"pedals_calibration_magnitude", 37, f32(0.59f), 59},
            {"pedals_braking_limit", 41, f32(0.33f), 33},
            {"yaw_encoder_direction", 45, u8(1), true},
            {"yaw_motion_range", 48, le16(12345), 12345},
            {"yaw_pole_pair", 50, u8(99), 99},
            {"yaw_encoder_CPR", 51, le16(0), 0},
            {"yaw_p_gain", 53, f32(3.5f), QString("3.5")},
            {"yaw_i_gain", 57, f32(0.0f), QString("0")},
            {"minDeadZone1", 61, le16(1), 1},
            {"minDeadZone2", 63, le16(2), 2},
            {"maxDeadZone1", 65, le16(3), 3},
            {"maxDeadZone2", 67, le16(4), 4},
        };
    }
    return {};
}

// A record the controls show and store back unchanged.
QByteArray roundTripRecord(Record record)
{
    QByteArray bytes = background(record);
    for (const Field &field : fields(record))
        bytes.replace(field.offset, field.raw.size(), field.raw);
    if (record == JE) {
        bytes.replace(204, 4, f32(10.0f));
        bytes.replace(208, 4, f32(30.0f));
    } else if (record == PE) {
        bytes.replace(159, 4, f32(10.0f));
        bytes.replace(163, 4, f32(30.0f));
    }
    return bytes;
}

// What a control shows, as the property that holds it.
QByteArray valueProperty(const QWidget *control)
{
    if (qobject_cast<const QComboBox *>(control))
        return "currentIndex";
    if (qobject_cast<const QCheckBox *>(control))
        return "checked";
    if (qobject_cast<const QLineEdit *>(control))
        return "text";
    return "value";  // QSpinBox, QDoubleSpinBox
}

} // namespace

Q_DECLARE_METATYPE(Record)

class TestSettingsMapping : public QObject
{
    Q_OBJECT

private:
    QMainWindow form;
    Ui::MainWindow ui;
    std::optional<SettingsControls> controls;

    QWidget *widgetNamed(const QString &name) const { return form.findChild<QWidget *>(name); }

private slots:
    void initTestCase()
    {
        ui.setupUi(&form);
        controls.emplace(&form);
    }

    // A table naming a control the form lacks, or one of a class its conversion
    // cannot use, is a broken form or table.
    void unresolvedRowsAreNamed()
    {
        for (auto table : {joystickEffectBindings(), pedalsEffectBindings(),
                           joystickHardwareBindings(), pedalsHardwareBindings()})
            QCOMPARE(unresolvedControls(table, &form), QStringList());

        QWidget bare;
        (new QSpinBox(&bare))->setObjectName("present");
        (new QLineEdit(&bare))->setObjectName("wrong_class");
        const FieldBinding rows[] = {{"present", 0, Conversion::UInt8},
                                     {"missing", 1, Conversion::UInt8},
                                     {"wrong_class", 2, Conversion::Hertz}};
        QCOMPARE(unresolvedControls(rows, &bare), QStringList({"missing", "wrong_class"}));

#ifdef QT_NO_DEBUG
        // Release builds say so once, naming the controls, and copy nothing.
        QWidget empty;
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("roll_gain_total, .*maxDeadZone2$"));
        SettingsControls none(&empty);
        const QByteArray image = patterned(85, 1);
        JoystickHardwareSettings record;
        std::memcpy(&record, image.constData(), sizeof record);
        none.show(record);
        none.store(record);
        QCOMPARE(bytesOf(record), image);
#endif
    }

    void showsEveryFieldAndStoresItBack_data()
    {
        QTest::addColumn<Record>("record");
        QTest::newRow("joystick effect") << JE;
        QTest::newRow("pedals effect") << PE;
        QTest::newRow("joystick hardware") << JH;
        QTest::newRow("pedals hardware") << PH;
    }

    // Stored into the bare pattern, the controls give every field and the
    // full-scale constants, and leave every other byte (header, reserved,
    // curves) as it was.
    void showsEveryFieldAndStoresItBack()
    {
        QFETCH(Record, record);
        const QByteArray original = roundTripRecord(record);
        show(*controls, record, original);
        for (const Field &field : fields(record)) {
            QWidget *widget = widgetNamed(field.control);
            QVERIFY2(widget, field.control);
            const QVariant shown = widget->property(valueProperty(widget));
            QVERIFY2(shown == field.shown,
                     qPrintable(QStringLiteral("%1 shows %2, expected %3")
                                    .arg(field.control, shown.toString(), field.shown.toString())));
        }
        QCOMPARE(stored(*controls, record, background(record)).toHex(' '), original.toHex(' '));
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

        QByteArray expected = roundTripRecord(record);
        show(*controls, record, expected);
        QWidget *widget = widgetNamed(control);
        QVERIFY(widget);
        QVERIFY(widget->setProperty(valueProperty(widget), value));
        const QByteArray actual = stored(*controls, record, expected);
        expected.replace(offset, bytes.size(), bytes);
        QCOMPARE(actual.toHex(' '), expected.toHex(' '));
    }

    // Values a controller or file may hold that the controls cannot show as
    // they are: what is shown, and what the next save stores. No float that
    // reaches a controller is ever NaN or infinite.
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
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        row("speed truncates", JE, "joystick_maximum_speed", 200, f32(999.7f), 999, f32(999.0f));
        row("speed zero shows minimum", JE, "joystick_maximum_speed", 200, f32(0.0f), 1, f32(1.0f));
        row("speed huge clamps", PE, "pedals_maximum_speed", 155, f32(1e30f), 3000, f32(3000.0f));
        row("speed beyond int", JE, "joystick_maximum_speed", 200, f32(3e9f), 3000, f32(3000.0f));
        row("speed -huge", JE, "joystick_maximum_speed", 200, f32(-1e30f), 1, f32(1.0f));
        row("speed nan", PE, "pedals_maximum_speed", 155, f32(nan), 1, f32(1.0f));
        row("speed -nan", JE, "joystick_maximum_speed", 200, f32(-nan), 1, f32(1.0f));
        row("speed +inf at the top", PE, "pedals_maximum_speed", 155, f32(inf), 3000, f32(3000.0f));
        row("thrust negative", JE, "joystick_maximum_thrust", 212, f32(-5.5f), 0, f32(0.0f));
        row("thrust +inf", PE, "pedals_maximum_thrust", 167, f32(inf), 99999, f32(99999.0f));
        row("thrust nan", JE, "joystick_maximum_thrust", 212, f32(nan), 0, f32(0.0f));
        row("hz +inf at the top", JE, "joystick_vibe_max_flaps", 28, f32(inf), 20.0, f32(20.0f));
        row("hz -inf at the bottom", PE, "pedals_vibe_min_aoa", 84, f32(-inf), 0.1, f32(0.1f));
        row("hz below range", JE, "joystick_vibe_min_flaps", 24, f32(0.05f), 0.1, f32(0.1f));
        row("hz nan", PE, "pedals_vibe_max_gear", 67, f32(nan), 0.1, f32(0.1f));
        row("uint8 above range", JE, "roll_gain_total", 4, u8(200), 100, u8(100));
        row("dampening speed 0", PE, "yaw_dampening_saturated_speed", 5, u8(0), 1, u8(1));
        row("axis out of range kept", JE, "joystick_vibe_axis_gear", 75, u8(5), -1, u8(5));
        row("direction 0", JH, "roll_encoder_direction", 45, u8(0), false, u8(0xFF));
        row("direction 2", JH, "roll_encoder_direction", 45, u8(2), false, u8(0xFF));
        row("direction 0x80", PH, "yaw_encoder_direction", 45, u8(0x80), false, u8(0xFF));
        row("force enable 2", JH, "joystick_force_enable", 29, u8(2), true, u8(1));
        row("percent above", JH, "joystick_braking_limit", 41, f32(2.0f), 100, f32(1.0f));
        row("percent nan", JH, "joystick_calibration_magnitude", 37, f32(nan), 0, f32(0.0f));
        row("percent -inf", PH, "pedals_braking_limit", 41, f32(-inf), 0, f32(0.0f));
        row("gain million", PH, "yaw_i_gain", 57, f32(1234567.0f), QString("1.23457e+06"),
            f32(1234570.0f));
        row("gain nan", JH, "pitch_i_gain", 73, f32(nan), QString("nan"), f32(0.0f));
        row("gain +inf", PH, "yaw_p_gain", 53, f32(inf), QString("inf"), f32(0.0f));
        row("gain -inf", JH, "roll_i_gain", 57, f32(-inf), QString("-inf"), f32(0.0f));
    }

    void conversionEdges()
    {
        QFETCH(Record, record);
        QFETCH(QString, control);
        QFETCH(int, offset);
        QFETCH(QByteArray, raw);
        QFETCH(QVariant, shown);
        QFETCH(QByteArray, storedBytes);

        QByteArray bytes = roundTripRecord(record);
        bytes.replace(offset, raw.size(), raw);
        show(*controls, record, bytes);
        QWidget *widget = widgetNamed(control);
        QVERIFY(widget);
        const QVariant actual = widget->property(valueProperty(widget));
        QVERIFY2(actual == shown, qPrintable(actual.toString()));
        QCOMPARE(stored(*controls, record, bytes).mid(offset, storedBytes.size()).toHex(' '),
                 storedBytes.toHex(' '));
    }
};

QTEST_MAIN(TestSettingsMapping)
#include "tst_settingsmapping.moc"
