#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include <memory>

namespace {

struct LinkedRow {
    const char *slider;
    const char *spinBox;
    int min;
    int max;
    int sliderMin;
};

// Every slider/spin-box pair of the settings pages: spin box range and the slider's own minimum.
constexpr LinkedRow kLinked[] = {
    {"totalForce_Roll_slider", "roll_gain_total", 0, 100, 0},
    {"horizontalSlider_22", "roll_dampening_saturated_speed", 1, 100, 1},
    {"horizontalSlider_29", "roll_dampening_limit", 0, 100, 0},
    {"totalForceSlider_1", "pitch_gain_total", 0, 100, 0},
    {"horizontalSlider_30", "pitch_dampening_saturated_speed", 1, 100, 1},
    {"horizontalSlider_35", "pitch_dampening_limit", 0, 100, 0},
    {"springPowerSlider_0", "joystick_gain_spring", 0, 100, 0},
    {"horizontalSlider_4", "joystick_gain_constant", 0, 100, 0},
    {"horizontalSlider_18", "joystick_gain_periodic", 0, 100, 0},
    {"periodicPowerSlider_0", "roll_spring_artificial", 0, 100, 0},
    {"horizontalSlider_8", "roll_spring_g_force", 0, 100, 0},
    {"horizontalSlider_2", "roll_spring_aoa", 0, 100, 0},
    {"horizontalSlider", "roll_spring_speed", 0, 250, 0},
    {"horizontalSlider_9", "roll_spring_thrust", 0, 250, 0},
    {"horizontalSlider_5", "pitch_spring_artificial", 0, 100, 0},
    {"horizontalSlider_12", "pitch_spring_g_force", 0, 100, 0},
    {"horizontalSlider_6", "pitch_spring_aoa", 0, 100, 0},
    {"horizontalSlider_10", "pitch_spring_speed", 0, 250, 0},
    {"horizontalSlider_37", "joystick_advanced_aoa", 0, 100, 0},
    {"horizontalSlider_13", "pitch_spring_thrust", 0, 250, 0},
    {"horizontalSlider_20", "pitch_force_flaps", -100, 100, -100},
    {"horizontalSlider_3", "pitch_force_gear", -100, 100, -100},
    {"horizontalSlider_19", "pitch_force_airbrake", -100, 100, -100},
    {"horizontalSlider_36", "pitch_force_elevator", -100, 100, -100},
    {"horizontalSlider_39", "joystick_jolt_landing", 0, 100, 0},
    {"horizontalSlider_38", "joystick_jolt_gear_retraction", 0, 100, 0},
    {"horizontalSlider_11", "joystick_power_limit", 0, 100, 0},
    {"horizontalSlider_15", "joystick_calibration_magnitude", 0, 100, 0},
    {"braking_slider", "joystick_braking_limit", 0, 100, 0},
    {"horizontalSlider_14", "yaw_gain_total", 0, 100, 0},
    {"horizontalSlider_23", "yaw_dampening_saturated_speed", 1, 100, 0},
    {"horizontalSlider_40", "yaw_dampening_limit", 0, 100, 0},
    {"horizontalSlider_17", "pedals_gain_spring", 0, 100, 0},
    {"horizontalSlider_7", "pedals_gain_constant", 0, 100, 0},
    {"horizontalSlider_16", "pedals_gain_periodic", 0, 100, 0},
    {"horizontalSlider_24", "yaw_spring_artificial", 0, 100, 0},
    {"horizontalSlider_27", "yaw_spring_g_force", 0, 100, 0},
    {"horizontalSlider_26", "yaw_spring_aoa", 0, 100, 0},
    {"horizontalSlider_25", "yaw_spring_speed", 0, 100, 0},
    {"horizontalSlider_28", "yaw_spring_thrust", 0, 100, 0},
    {"horizontalSlider_42", "pedals_jolt_landing", 0, 100, 0},
    {"horizontalSlider_41", "pedals_jolt_gear_retraction", 0, 100, 0},
    {"horizontalSlider_31", "pedals_power_limit", 0, 100, 0},
    {"horizontalSlider_32", "pedals_calibration_magnitude", 0, 100, 0},
    {"horizontalSlider_34", "pedals_braking_limit", 0, 100, 0},
};

const char *const kVibeEffects[] = {"flaps", "airbrake", "gear", "aoa", "on_ground"};

QVariantMap range(int min, int max, int value)
{
    return {{"minimum", min}, {"maximum", max}, {"value", value}};
}

QVariantMap text(const char *caption)
{
    return {{"text", QString::fromUtf8(caption)}};
}

void row(const char *cls, const QString &name, const QVariantMap &props = {})
{
    QTest::newRow(qPrintable(name)) << name << QByteArray(cls) << props;
}

void row(const char *cls, const char *name, const QVariantMap &props = {})
{
    row(cls, QString::fromUtf8(name), props);
}

// Values of every integer control, to see which ones a single change touched.
QHash<QString, int> integerValues(const QWidget &w)
{
    QHash<QString, int> values;
    for (auto *s : w.findChildren<QSlider *>())
        values.insert(s->objectName(), s->value());
    for (auto *s : w.findChildren<QSpinBox *>())
        values.insert(s->objectName(), s->value());
    return values;
}

QStringList changedBetween(const QHash<QString, int> &before, const QHash<QString, int> &after)
{
    QStringList changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (before.value(it.key()) != it.value())
            changed << it.key();
    changed.sort();
    return changed;
}

} // namespace

// A caption label expected at a grid cell.
struct Cell {
    int row;
    int column;
    const char *caption;
};
Q_DECLARE_METATYPE(Cell)

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void captions_data();
    void captions();
    void gridPositions_data();
    void gridPositions();
    void containerOrder_data();
    void containerOrder();
    void layoutSpacingAndMargins();
    void linkedPairs_data();
    void linkedPairs();
    void yawSpeedSliderBelowSpinBoxMinimum();
    void unlinkedSlidersChangeNothing();
    void frequencySpinBoxes();
    void vibrationScaleLimits();
    void widths();
    void telemetryValueFields();
    void tabWidgets_data();
    void tabWidgets();
    void everyTabWidgetOpensOnFirstPage();

private:
    template<typename T>
    T *find(const char *name) const
    {
        return m_window->findChild<T *>(QString::fromUtf8(name));
    }

    Ui::MainWindow m_ui;
    std::unique_ptr<QMainWindow> m_window;
};

void TestMainWindowForm::init()
{
    m_window = std::make_unique<QMainWindow>();
    m_ui.setupUi(m_window.get());
}

void TestMainWindowForm::cleanup()
{
    m_window.reset();
}

void TestMainWindowForm::window()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Vorkast system settings"));
    QCOMPARE(m_window->size(), QSize(525, 1028));
    QCOMPARE(m_window->minimumSize(), QSize(0, 0));
    QCOMPARE(m_window->maximumSize(), QSize(6000, 6000));
    QVERIFY(m_window->autoFillBackground());
    QVERIFY(!m_window->documentMode());
    QVERIFY(!m_window->findChild<QMenuBar *>());
    QVERIFY(!m_window->findChild<QToolBar *>());
    QVERIFY(!m_window->findChild<QStatusBar *>());
    QCOMPARE(m_window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(m_window->centralWidget()->layout()->objectName(), QStringLiteral("verticalLayout_6"));
    QCOMPARE(find<QTabWidget>("main_tabplane")->minimumSize(), QSize(100, 100));
    QVERIFY(find<QComboBox>("profile_combo")->isEditable());
}

void TestMainWindowForm::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QVariantMap>("props");

    for (const auto &l : kLinked) {
        row("QSlider", l.slider, range(l.sliderMin, l.max, qMax(l.sliderMin, 0)));
        row("QSpinBox", l.spinBox, range(l.min, l.max, qMax(l.min, 0)));
    }

    row("QSpinBox", "joystick_maximum_speed", range(1, 3000, 1000));
    row("QSpinBox", "joystick_maximum_thrust", range(0, 99999, 0));
    row("QSpinBox", "joystick_max_elevator_deflection", range(0, 99, 0));
    row("QSpinBox", "joystick_max_aileron_deflection", range(0, 99, 0));
    row("QSpinBox", "joystick_stick_weight_x", range(-100, 100, 0));
    row("QSpinBox", "joystick_stick_weight_y", range(-100, 100, 0));
    row("QSpinBox", "pedals_maximum_speed", range(1, 3000, 1000));
    row("QSpinBox", "pedals_maximum_thrust", range(0, 99999, 0));
    row("QSpinBox", "pedals_max_rudder_deflection", range(0, 99, 0));
    for (const char *axis : {"roll", "pitch", "yaw"}) {
        const QString a = QString::fromUtf8(axis);
        // The field is 16 bits: a larger count would be stored truncated.
        row("QSpinBox", a + "_encoder_CPR", range(0, 65535, 0));
        row("QSpinBox", a + "_pole_pair", range(0, 99, 0));
        row("QSpinBox", a + "_motion_range", range(0, 32765, 0));
        row("QLineEdit", a + "_p_gain", {{"text", QString()}});
        row("QLineEdit", a + "_i_gain", {{"text", QString()}});
        row("QCheckBox", a + "_encoder_direction", text("Invert"));
    }
    for (const char *zone : {"minDeadZone1", "maxDeadZone1", "minDeadZone2", "maxDeadZone2"}) {
        row("QSpinBox", zone, range(0, 4096, 0));
        row("QSpinBox", QString::fromUtf8(zone) + "_J", range(0, 4096, 0));
    }

    const QVariantMap frequency{{"minimum", 0.1}, {"maximum", 20.0}, {"value", 0.1}};
    const QStringList joystickAxes{"Roll (X)", "Pitch (Y)"};
    const QStringList pedalsAxes{"Yaw (Z)"};
    for (const char *effect : kVibeEffects) {
        for (const QString device : {"joystick", "pedals"}) {
            const QString e = QString::fromUtf8(effect);
            const bool joystick = device == "joystick";
            row("QSpinBox", device + "_vibe_scale_" + e, range(0, joystick ? 100 : 99, 0));
            row("QDoubleSpinBox", device + "_vibe_min_" + e, frequency);
            row("QDoubleSpinBox", device + "_vibe_max_" + e, frequency);
            row("QComboBox", device + "_vibe_axis_" + e,
                {{"items", joystick ? joystickAxes : pedalsAxes}, {"currentIndex", 0}});
            row("QPushButton", device + "_vibe_curve_" + e, text("Curve"));
        }
    }

    for (const char *curve : {"roll_curve_artificial", "roll_curve_g_force", "roll_curve_aoa",
                              "pitch_curve_artificial", "pitch_curve_g_force", "pitch_curve_aoa",
                              "yaw_curve_artificial", "yaw_curve_g_force", "yaw_curve_aoa"})
        row("QPushButton", curve, text("Curve"));

    row("QPushButton", "add_profile_button", text("Save"));
    row("QPushButton", "delete_profile_button", text("Delete"));
    row("QPushButton", "software_settings_read", text("Read effect settings from joystick controller"));
    row("QPushButton", "software_settings_save", text("Write effect settings to joystick controller"));
    row("QPushButton", "dfu_mode_button", text("Switch joystick controller to DFU mode"));
    row("QPushButton", "hardware_settings_read", text("Read system settings from joystick controller"));
    row("QPushButton", "hardware_settings_save", text("Write system settings to joystick controller"));
    row("QPushButton", "pedal_software_settings_read", text("Read effect settings from pedals controller"));
    row("QPushButton", "pedal_software_settings_save", text("Write effect settings to pedals controller"));
    row("QPushButton", "pedal_dfu_mode_button", text("Switch pedals controller to DFU mode"));
    row("QPushButton", "pedal_hardware_settings_read", text("Read system settings from pedals controller"));
    row("QPushButton", "pedal_hardware_settings_save", text("Write system settings to pedals controller"));

    row("QCheckBox", "joystick_foc", text("FOC motor control (Require device restart)"));
    row("QCheckBox", "joystick_force_enable", text("Enable forces (Require device restart)"));
    row("QCheckBox", "pedals_foc", text("FOC motor control (Require device restart)"));
    row("QCheckBox", "pedals_force_enable", text("Enable forces (Require device restart)"));

    const QStringList calibration{"Starting position as a center", "Automatic center of range"};
    row("QComboBox", "profile_combo", {{"items", QStringList()}});
    row("QComboBox", "joystick_calibration_mode", {{"items", calibration}});
    row("QComboBox", "pedals_calibration_mode", {{"items", calibration}});
    row("QComboBox", "shiftRegisterMode",
        {{"items", QStringList{"None shift registers connected", "4xCD4201 shift registers",
                               "4xSN74HC165N shift registers"}}});
    row("QComboBox", "telemetryMode",
        {{"items", QStringList{"DCS", "Warthunder", "MSFS", "il2sturmovik", "Debug"}}, {"currentIndex", 0}});

    for (const char *flag : {"valid", "trim_override", "on_ground"})
        row("QCheckBox", QStringLiteral("telemetry_in_%1").arg(QLatin1String(flag)), text(""));
    const struct {
        const char *name;
        int min;
        int max;
    } telemetrySliders[] = {
        {"flaps", 0, 100},          {"airbrake", 0, 100},      {"brake", 0, 100},
        {"gear", 0, 100},           {"trim_roll", -100, 100},  {"trim_pitch", -100, 100},
        {"trim_yaw", -100, 100},    {"airspeed", 0, 1000},     {"vertical_speed", -100, 100},
        {"g_force", 0, 100},        {"aoa", -180, 180},        {"thrust", 0, 1000},
    };
    for (const auto &s : telemetrySliders)
        row("QSlider", QStringLiteral("telemetry_in_%1").arg(QLatin1String(s.name)),
            range(s.min, s.max, qMax(s.min, 0)));

    const struct {
        const char *name;
        const char *title;
    } groups[] = {
        {"groupBox_3", "Profiles"},
        {"groupBox", "Common"},
        {"groupBox_6", "Standard effects"},
        {"joystick_full_feature_4", "Telemetry data limits"},
        {"groupBox_10", "Artificial"},
        {"groupBox_11", "Natural"},
        {"groupBox_4", "Artificial"},
        {"groupBox_8", "Natural"},
        {"groupBox_14", "GroupBox"},
        {"groupBox_13", "Jolts"},
        {"groupBox_5", "Common"},
        {"groupBox_9", "Standard effects"},
        {"pedals_full_feature_3", "Telemetry data limits"},
        {"groupBox_15", "Artificial"},
        {"groupBox_16", "Natural"},
        {"groupBox_12", "Vibrations"},
        {"groupBox_18", "Jolts"},
        {"groupBox_2", "Telemetry debug"},
    };
    for (const auto &g : groups)
        row("QGroupBox", g.name, {{"title", QString::fromUtf8(g.title)}});
}

void TestMainWindowForm::controls()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, className);
    QFETCH(QVariantMap, props);

    const auto matches = m_window->findChildren<QWidget *>(name);
    QCOMPARE(matches.size(), 1);
    QWidget *w = matches.first();
    QCOMPARE(QByteArray(w->metaObject()->className()), className);

    for (auto it = props.cbegin(); it != props.cend(); ++it) {
        if (it.key() == "items") {
            auto *combo = qobject_cast<QComboBox *>(w);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            QCOMPARE(items, it.value().toStringList());
            continue;
        }
        const QVariant actual = w->property(it.key().toLatin1());
        QVERIFY2(actual.isValid(), qPrintable(it.key()));
        if (it.value().typeId() == QMetaType::Double)
            QVERIFY2(qFuzzyCompare(actual.toDouble(), it.value().toDouble()), qPrintable(it.key()));
        else
            QCOMPARE(actual, it.value());
    }
}

void TestMainWindowForm::captions_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QList<Cell>>("cells");

    const QList<Cell> dampening{{0, 0, "Total force"}, {1, 0, "Max dampened speed"}, {2, 0, "Dampening limit"}};
    const QList<Cell> artificial{{0, 0, "Simple spring"}, {1, 0, "GForce based spring"}, {2, 0, "AoA based spring"}};
    const QList<Cell> jolts{{0, 0, "Landing"}, {1, 0, "Gear retraction"}};
    const QList<Cell> power{{0, 0, "Power limit(%)"}, {1, 0, "Calibration magnitude(%)"},
                            {2, 0, "Braking resistor limit(%)"}};
    const QList<Cell> deadZones{{0, 1, "Min dead zone"}, {0, 2, "Max dead zone"},
                                {1, 0, "Analog axis 1"}, {2, 0, "Analog axis 2"}};
    const QList<Cell> vibeRows{{1, 0, "Flaps"}, {2, 0, "Airbrake"}, {3, 0, "Gear"}, {4, 0, "AoA"}, {5, 0, "On ground"}};

    QTest::newRow("gridLayout_10") << "gridLayout_10" << dampening;
    QTest::newRow("gridLayout_8") << "gridLayout_8" << dampening;
    QTest::newRow("gridLayout_9") << "gridLayout_9" << dampening;
    QTest::newRow("gridLayout_2") << "gridLayout_2"
                                  << QList<Cell>{{0, 0, "Spring"}, {1, 0, "Constant"}, {2, 0, "Periodic"}};
    QTest::newRow("gridLayout_25") << "gridLayout_25"
                                   << QList<Cell>{{0, 0, "Spring"}, {1, 0, "Constant force"}, {2, 0, "Periodic force"}};
    QTest::newRow("gridLayout_3") << "gridLayout_3"
                                  << QList<Cell>{{0, 0, "Airspeed (km/h)"}, {1, 0, "Thrust (kg)"},
                                                 {2, 0, "Maximum elevator deflection (degrees)"},
                                                 {3, 0, "Maximum aileron deflection (degrees)"}};
    QTest::newRow("gridLayout_20") << "gridLayout_20"
                                   << QList<Cell>{{0, 0, "Airspeed (km/h)"}, {1, 0, "Thrust (kg)"},
                                                  {2, 0, "Max rudder deflection (degrees)"}};
    QTest::newRow("gridLayout_4") << "gridLayout_4" << artificial;
    QTest::newRow("gridLayout_15") << "gridLayout_15" << artificial;
    QTest::newRow("gridLayout_6") << "gridLayout_6"
                                  << QList<Cell>{{0, 0, "Simple spring"}, {1, 0, "GForce based spring"}, {2, 0, "AoA spring"}};
    QTest::newRow("gridLayout_17") << "gridLayout_17"
                                   << QList<Cell>{{0, 0, "Airspeed based spring"}, {1, 0, "Thrust based spring"}};
    QTest::newRow("gridLayout_26") << "gridLayout_26"
                                   << QList<Cell>{{0, 0, "Airspeed based spring"}, {1, 0, "Thrust based spring"}};
    QTest::newRow("gridLayout_16") << "gridLayout_16"
                                   << QList<Cell>{{0, 0, "Airspeed based spring"}, {1, 0, "Advanced AOA forces gain"},
                                                  {2, 0, "Thrust based spring"}};
    QTest::newRow("gridLayout_14") << "gridLayout_14"
                                   << QList<Cell>{{0, 0, "Flaps induced force"}, {1, 0, "Gear induced force"},
                                                  {2, 0, "Airbrake induced force"}, {3, 0, "Elevator weight"}};
    QTest::newRow("gridLayout_12") << "gridLayout_12"
                                   << QList<Cell>{{0, 0, "Stick weight compensation (X)"},
                                                  {1, 0, "Stick weight compensation (Y)"}};
    QTest::newRow("gridLayout_7") << "gridLayout_7" << jolts;
    QTest::newRow("gridLayout_13") << "gridLayout_13" << jolts;
    QTest::newRow("gridLayout_19") << "gridLayout_19"
                                   << QList<Cell>{{0, 1, "Scale(%)"}, {0, 2, "Min(Hz)"}, {0, 3, "Max(Hz)"},
                                                  {0, 4, "Effect axis"}} + vibeRows;
    QTest::newRow("gridLayout_22") << "gridLayout_22"
                                   << QList<Cell>{{0, 1, "Scale (%)"}, {0, 2, "Min (Hz)"}, {0, 3, "Max (Hz)"},
                                                  {0, 4, "Effect axis"}} + vibeRows;
    QTest::newRow("gridLayout_23") << "gridLayout_23"
                                   << QList<Cell>{{1, 0, "Encoder CPR"}, {2, 0, "Pole pairs"},
                                                  {3, 0, "Motion range(counts)"}, {6, 0, "P gain"}, {7, 0, "I gain"}};
    QTest::newRow("gridLayout_24") << "gridLayout_24"
                                   << QList<Cell>{{2, 0, "Encoder CPR"}, {3, 0, "Pole pairs"},
                                                  {4, 0, "Motion range(counts)"}, {5, 0, "P gain"}, {6, 0, "I gain"}};
    QTest::newRow("gridLayout_21") << "gridLayout_21"
                                   << QList<Cell>{{1, 0, "Encoder CPR"}, {2, 0, "Pole pairs"},
                                                  {3, 0, "Motion range(counts)"}, {4, 0, "P gain"}, {5, 0, "I gain"}};
    QTest::newRow("gridLayout_11") << "gridLayout_11" << power;
    QTest::newRow("gridLayout_18") << "gridLayout_18" << power;
    QTest::newRow("gridLayout_28") << "gridLayout_28" << deadZones;
    QTest::newRow("gridLayout_27") << "gridLayout_27" << deadZones;
    QTest::newRow("gridLayout") << "gridLayout"
                                << QList<Cell>{{0, 0, "Valid"}, {1, 0, "Trim override"}, {2, 0, "On ground"},
                                               {3, 0, "Flaps"}, {3, 2, "%"}, {4, 0, "Airbrake"}, {4, 2, "%"},
                                               {5, 0, "Brake"}, {5, 2, "%"}, {6, 0, "Gear"}, {6, 2, "%"},
                                               {8, 0, "Trim roll"}, {8, 2, "%"}, {9, 0, "Trimm pitch"}, {9, 2, "%"},
                                               {10, 0, "Trim yaw"}, {10, 2, "%"}, {11, 0, "Airspeed"}, {11, 2, "km/h"},
                                               {12, 0, "Vertical speed"}, {12, 2, "m/s"}, {13, 0, "GForce"},
                                               {13, 2, "G"}, {14, 0, "AOA"}, {14, 2, "degrees     "},
                                               {15, 0, "Thrust"}, {15, 2, "kg"}};
}

void TestMainWindowForm::captions()
{
    QFETCH(QString, layout);
    QFETCH(QList<Cell>, cells);

    auto *grid = m_window->findChild<QGridLayout *>(layout);
    QVERIFY(grid);
    int labels = 0;
    for (int i = 0; i < grid->count(); ++i)
        labels += qobject_cast<QLabel *>(grid->itemAt(i)->widget()) != nullptr;
    QCOMPARE(labels, cells.size());

    for (const Cell &cell : cells) {
        QLayoutItem *item = grid->itemAtPosition(cell.row, cell.column);
        auto *label = item ? qobject_cast<QLabel *>(item->widget()) : nullptr;
        QVERIFY2(label, qPrintable(QStringLiteral("no label at %1,%2").arg(cell.row).arg(cell.column)));
        QCOMPARE(label->text(), QString::fromUtf8(cell.caption));
    }
}

void TestMainWindowForm::gridPositions_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    const struct {
        const char *layout;
        const char *widget;
        int row;
        int column;
    } rows[] = {
        {"gridLayout_5", "profile_combo", 0, 0},
        {"gridLayout_5", "add_profile_button", 0, 1},
        {"gridLayout_5", "delete_profile_button", 0, 2},
        {"gridLayout_10", "horizontalSlider_22", 1, 1},
        {"gridLayout_10", "roll_dampening_saturated_speed", 1, 2},
        {"gridLayout_16", "joystick_advanced_aoa", 1, 2},
        {"gridLayout_4", "roll_curve_aoa", 2, 3},
        {"gridLayout_6", "yaw_curve_artificial", 0, 3},
        {"gridLayout_14", "pitch_force_elevator", 3, 2},
        {"gridLayout_3", "joystick_maximum_speed", 0, 1},
        {"gridLayout_12", "joystick_stick_weight_y", 1, 1},
        {"gridLayout_19", "joystick_vibe_scale_flaps", 1, 1},
        {"gridLayout_19", "joystick_vibe_max_aoa", 4, 3},
        {"gridLayout_19", "joystick_vibe_curve_on_ground", 5, 5},
        {"gridLayout_22", "pedals_vibe_axis_gear", 3, 4},
        {"gridLayout_22", "pedals_vibe_min_airbrake", 2, 2},
        {"gridLayout_23", "roll_encoder_direction", 0, 0},
        {"gridLayout_23", "roll_encoder_CPR", 1, 1},
        {"gridLayout_23", "roll_p_gain", 6, 1},
        {"gridLayout_23", "roll_i_gain", 7, 1},
        {"gridLayout_24", "pitch_encoder_direction", 0, 0},
        {"gridLayout_24", "pitch_encoder_CPR", 2, 1},
        {"gridLayout_24", "pitch_i_gain", 6, 1},
        {"gridLayout_21", "yaw_encoder_CPR", 1, 1},
        {"gridLayout_21", "yaw_i_gain", 5, 1},
        {"gridLayout_28", "minDeadZone1_J", 1, 1},
        {"gridLayout_28", "maxDeadZone2_J", 2, 2},
        {"gridLayout_27", "maxDeadZone1", 1, 2},
        {"gridLayout_27", "minDeadZone2", 2, 1},
        {"gridLayout_11", "braking_slider", 2, 1},
        {"gridLayout_18", "pedals_braking_limit", 2, 2},
        {"gridLayout", "telemetry_out_valid", 0, 1},
        {"gridLayout", "telemetry_in_valid", 0, 3},
        {"gridLayout", "telemetry_in_gear", 6, 3},
        {"gridLayout", "telemetry_out_trim_roll", 8, 1},
        {"gridLayout", "telemetry_in_aoa", 14, 3},
        {"gridLayout", "telemetry_out_thrust", 15, 1},
        {"gridLayout", "telemetry_in_thrust", 15, 3},
    };
    for (const auto &r : rows)
        QTest::addRow("%s", r.widget) << r.layout << r.widget << r.row << r.column;
}

void TestMainWindowForm::gridPositions()
{
    QFETCH(QString, layout);
    QFETCH(QString, widget);
    QFETCH(int, row);
    QFETCH(int, column);

    auto *grid = m_window->findChild<QGridLayout *>(layout);
    auto *w = m_window->findChild<QWidget *>(widget);
    QVERIFY(grid);
    QVERIFY(w);
    const int index = grid->indexOf(w);
    QVERIFY(index >= 0);
    int r = -1, c = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
}

void TestMainWindowForm::containerOrder_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<QStringList>("items");

    // "|" marks a spacer; other entries are widget or sub-layout object names.
    const struct {
        const char *container;
        const char *layout;
        QStringList items;
    } rows[] = {
        {"centralWidget", "verticalLayout_6", {"groupBox_3", "main_tabplane"}},
        {"groupBox_3", "gridLayout_5", {}},
        {"tab_6", nullptr, {"tabWidget_2"}},
        {"tab_4", nullptr, {"groupBox", "groupBox_6", "joystick_full_feature_4", "tabWidget_6",
                             "software_settings_read", "software_settings_save"}},
        {"groupBox", nullptr, {"tabWidget_3"}},
        {"tab", "gridLayout_10", {}},
        {"tab_2", "gridLayout_8", {}},
        {"groupBox_6", "gridLayout_2", {}},
        {"joystick_full_feature_4", "gridLayout_3", {}},
        {"tab_15", nullptr, {"tabWidget_5", "|"}},
        {"tab_11", nullptr, {"groupBox_10", "groupBox_11", "|"}},
        {"tab_12", nullptr, {"groupBox_4", "groupBox_8", "|"}},
        {"groupBox_10", "gridLayout_4", {}},
        {"groupBox_11", "gridLayout_17", {}},
        {"groupBox_4", "gridLayout_15", {}},
        {"groupBox_8", "gridLayout_16", {}},
        {"tab_18", nullptr, {"gridLayout_14", "|"}},
        {"tab_14", nullptr, {"groupBox_14", "groupBox_13"}},
        {"groupBox_14", "gridLayout_19", {}},
        {"groupBox_13", "gridLayout_7", {}},
        {"AdvancedAOA", nullptr, {"gridLayout_12", "|"}},
        {"tab_5", nullptr, {"joystick_foc", "joystick_force_enable", "joystick_calibration_mode",
                             "shiftRegisterMode", "tabWidget", "gridLayout_11", "gridLayout_28", "|",
                             "dfu_mode_button", "hardware_settings_read", "hardware_settings_save"}},
        {"tab_13", "gridLayout_23", {}},
        {"PitchY", "gridLayout_24", {}},
        {"Effects", nullptr, {"tabWidget_4"}},
        {"tab_3", nullptr, {"groupBox_5", "groupBox_9", "pedals_full_feature_3", "tabWidget_7", "|",
                             "pedal_software_settings_read", "pedal_software_settings_save"}},
        {"groupBox_5", "gridLayout_9", {}},
        {"groupBox_9", "gridLayout_25", {}},
        {"pedals_full_feature_3", "gridLayout_20", {}},
        {"tab_16", nullptr, {"groupBox_15", "groupBox_16", "|"}},
        {"groupBox_15", "gridLayout_6", {}},
        {"groupBox_16", "gridLayout_26", {}},
        {"tab_17", nullptr, {"groupBox_12", "groupBox_18"}},
        {"groupBox_12", "gridLayout_22", {}},
        {"groupBox_18", "gridLayout_13", {}},
        {"tab_7", nullptr, {"pedals_foc", "pedals_force_enable", "pedals_calibration_mode",
                             "yaw_encoder_direction", "gridLayout_21", "gridLayout_18", "gridLayout_27", "|",
                             "pedal_dfu_mode_button", "pedal_hardware_settings_read",
                             "pedal_hardware_settings_save"}},
        {"tab_9", nullptr, {"telemetryMode", "groupBox_2", "|"}},
        {"groupBox_2", "gridLayout", {}},
    };
    for (const auto &r : rows)
        QTest::newRow(r.container) << QString::fromUtf8(r.container)
                                   << (r.layout ? QString::fromUtf8(r.layout) : QString()) << r.items;
}

void TestMainWindowForm::containerOrder()
{
    QFETCH(QString, container);
    QFETCH(QString, layoutName);
    QFETCH(QStringList, items);

    auto *w = m_window->findChild<QWidget *>(container);
    QVERIFY(w);
    QLayout *layout = w->layout();
    QVERIFY(layout);
    if (!layoutName.isEmpty())
        QCOMPARE(layout->objectName(), layoutName);
    if (items.isEmpty())
        return;

    QStringList actual;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget())
            actual << item->widget()->objectName();
        else if (item->layout())
            actual << item->layout()->objectName();
        else if (QSpacerItem *spacer = item->spacerItem()) {
            QCOMPARE(spacer->sizeHint(), QSize(20, 40));
            QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
            QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
            actual << "|";
        }
    }
    QCOMPARE(actual, items);
}

void TestMainWindowForm::layoutSpacingAndMargins()
{
    const QHash<QString, int> exceptions{
        {"gridLayout_11", 0}, {"gridLayout_21", 0}, {"gridLayout_28", 6},
        {"gridLayout_18", 6}, {"gridLayout_27", 6}, {"gridLayout_12", 9},
    };
    int checked = 0;
    for (QLayout *layout : m_window->findChildren<QLayout *>()) {
        const QString name = layout->objectName();
        if (!name.startsWith("gridLayout") && !name.startsWith("verticalLayout"))
            continue; // the toolkit's own layouts
        ++checked;
        QVERIFY2(layout->spacing() == 6, qPrintable(name));
        if (name == "gridLayout_14")
            continue; // leaves its margins to its parent layout
        const int m = exceptions.value(name, 11);
        QVERIFY2(layout->contentsMargins() == QMargins(m, m, m, m), qPrintable(name));
    }
    QCOMPARE(checked, 28 + 17); // the named grids plus the box layouts of the pages
}

void TestMainWindowForm::linkedPairs_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QString>("spinBox");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");

    for (const auto &l : kLinked)
        QTest::newRow(l.spinBox) << QString::fromUtf8(l.slider) << QString::fromUtf8(l.spinBox) << l.min << l.max;
}

void TestMainWindowForm::linkedPairs()
{
    QFETCH(QString, slider);
    QFETCH(QString, spinBox);
    QFETCH(int, min);
    QFETCH(int, max);

    auto *sl = m_window->findChild<QSlider *>(slider);
    auto *sp = m_window->findChild<QSpinBox *>(spinBox);
    QVERIFY(sl);
    QVERIFY(sp);
    const auto before = integerValues(*m_window);
    QStringList pair{slider, spinBox};
    pair.sort();

    sp->setValue(max - 1);
    QCOMPARE(sl->value(), max - 1);
    QCOMPARE(changedBetween(before, integerValues(*m_window)), pair);

    sl->setValue(min + 2);
    QCOMPARE(sp->value(), min + 2);
    sl->setValue(max);
    QCOMPARE(sp->value(), max);
    QCOMPARE(changedBetween(before, integerValues(*m_window)), pair);
}

void TestMainWindowForm::yawSpeedSliderBelowSpinBoxMinimum()
{
    auto *sl = find<QSlider>("horizontalSlider_23");
    auto *sp = find<QSpinBox>("yaw_dampening_saturated_speed");
    QCOMPARE(sp->value(), 1);

    sl->setValue(30);
    QCOMPARE(sp->value(), 30);
    sp->setValue(1);
    QCOMPARE(sl->value(), 1);
    sl->setValue(0);
    QCOMPARE(sl->value(), 0);
    QCOMPARE(sp->value(), 1);
}

void TestMainWindowForm::unlinkedSlidersChangeNothing()
{
    QSet<QString> linked;
    for (const auto &l : kLinked)
        linked << QString::fromUtf8(l.slider);

    const auto sliders = m_window->findChildren<QSlider *>();
    QCOMPARE(sliders.size(), 45 + 12);
    int unlinked = 0;
    for (QSlider *s : sliders) {
        if (linked.contains(s->objectName()))
            continue;
        QVERIFY2(s->objectName().startsWith("telemetry_in_"), qPrintable(s->objectName()));
        ++unlinked;
        const auto before = integerValues(*m_window);
        s->setValue(s->maximum());
        QCOMPARE(changedBetween(before, integerValues(*m_window)), QStringList{s->objectName()});
    }
    QCOMPARE(unlinked, 12);
}

void TestMainWindowForm::frequencySpinBoxes()
{
    const auto boxes = m_window->findChildren<QDoubleSpinBox *>();
    QCOMPARE(boxes.size(), 20);
    for (QDoubleSpinBox *box : boxes) {
        const QByteArray name = box->objectName().toLatin1();
        QVERIFY2(box->objectName().contains("_vibe_min_") || box->objectName().contains("_vibe_max_"), name);
        QVERIFY2(box->decimals() == 1, name);
        QVERIFY2(qFuzzyCompare(box->minimum(), 0.1), name);
        QVERIFY2(qFuzzyCompare(box->maximum(), 20.0), name);
        QVERIFY2(qFuzzyCompare(box->singleStep(), 0.1), name);
        QVERIFY2(qFuzzyCompare(box->value(), 0.1), name);
        box->stepBy(1);
        QVERIFY2(qFuzzyCompare(box->value(), 0.2), name);
    }
}

void TestMainWindowForm::vibrationScaleLimits()
{
    for (const char *effect : kVibeEffects) {
        auto *joystick = m_window->findChild<QSpinBox *>(QStringLiteral("joystick_vibe_scale_%1").arg(effect));
        auto *pedals = m_window->findChild<QSpinBox *>(QStringLiteral("pedals_vibe_scale_%1").arg(effect));
        QVERIFY(joystick && pedals);
        joystick->setValue(150);
        pedals->setValue(150);
        QCOMPARE(joystick->value(), 100);
        QCOMPARE(pedals->value(), 99);
    }
}

void TestMainWindowForm::widths()
{
    QCOMPARE(find<QSpinBox>("joystick_maximum_speed")->maximumWidth(), 50);
    QCOMPARE(find<QSpinBox>("pedals_maximum_speed")->maximumWidth(), 50);

    for (const char *name : {"gridLayout_23", "gridLayout_24", "gridLayout_21"}) {
        auto *grid = find<QGridLayout>(name);
        QVERIFY(grid);
        const bool pedals = qstrcmp(name, "gridLayout_21") == 0;
        for (int row = 0; row < grid->rowCount(); ++row) {
            QLayoutItem *caption = grid->itemAtPosition(row, 0);
            QLayoutItem *field = grid->itemAtPosition(row, 1);
            if (auto *label = caption ? qobject_cast<QLabel *>(caption->widget()) : nullptr) {
                QCOMPARE(label->minimumWidth(), pedals ? 0 : 100);
                QCOMPARE(label->maximumWidth(), 200);
                QVERIFY(field);
                QCOMPARE(field->widget()->maximumWidth(), 300);
            }
        }
    }
}

void TestMainWindowForm::telemetryValueFields()
{
    const auto fields = m_window->findChildren<QLineEdit *>(QRegularExpression("^telemetry_out_"));
    QCOMPARE(fields.size(), 15);
    for (QLineEdit *field : fields) {
        const QByteArray name = field->objectName().toLatin1();
        QVERIFY2(!field->isEnabled(), name);
        QVERIFY2(field->isReadOnly(), name);
        QVERIFY2(field->minimumWidth() == 60 && field->maximumWidth() == 80, name);
    }
}

void TestMainWindowForm::tabWidgets_data()
{
    QTest::addColumn<QString>("tabWidget");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("pages");

    QTest::newRow("main_tabplane") << "main_tabplane" << QStringList{"Joystick", "Pedals", "Telemetry"}
                                   << QStringList{"tab_6", "Effects", "tab_9"};
    QTest::newRow("tabWidget_2") << "tabWidget_2" << QStringList{"Effects", "System"}
                                 << QStringList{"tab_4", "tab_5"};
    QTest::newRow("tabWidget_3") << "tabWidget_3" << QStringList{"Roll(X)", "Pitch(Y)"}
                                 << QStringList{"tab", "tab_2"};
    QTest::newRow("tabWidget_6") << "tabWidget_6"
                                 << QStringList{"Centering forces", "Longitudal forces", "Shaking", "Extra"}
                                 << QStringList{"tab_15", "tab_18", "tab_14", "AdvancedAOA"};
    QTest::newRow("tabWidget_5") << "tabWidget_5" << QStringList{"Roll (X)", "Pitch (Y)"}
                                 << QStringList{"tab_11", "tab_12"};
    QTest::newRow("tabWidget") << "tabWidget" << QStringList{"Roll (X)", "Pitch(Y)"}
                               << QStringList{"tab_13", "PitchY"};
    QTest::newRow("tabWidget_4") << "tabWidget_4" << QStringList{"Effects", "System"}
                                 << QStringList{"tab_3", "tab_7"};
    QTest::newRow("tabWidget_7") << "tabWidget_7" << QStringList{"Centering forces", "Shaking"}
                                 << QStringList{"tab_16", "tab_17"};
}

void TestMainWindowForm::tabWidgets()
{
    QFETCH(QString, tabWidget);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, pages);

    auto *tabs = m_window->findChild<QTabWidget *>(tabWidget);
    QVERIFY(tabs);
    QStringList actualTitles, actualPages;
    for (int i = 0; i < tabs->count(); ++i) {
        actualTitles << tabs->tabText(i);
        actualPages << tabs->widget(i)->objectName();
    }
    QCOMPARE(actualTitles, titles);
    QCOMPARE(actualPages, pages);
}

void TestMainWindowForm::everyTabWidgetOpensOnFirstPage()
{
    const auto tabWidgets = m_window->findChildren<QTabWidget *>();
    QCOMPARE(tabWidgets.size(), 8);
    for (QTabWidget *tabs : tabWidgets)
        QVERIFY2(tabs->currentIndex() == 0, qPrintable(tabs->objectName()));
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
