#include "curvedialog.h"
#include "testmain.h"
#include "windowrig.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPoints = 11;

// What the curve editor showed while it was up.
struct Shown
{
    bool opened = false;
    QWidget *parent = nullptr;
    QString title;
    QStringList labels;
    QList<int> values;
};

// Runs a curve slot as its button would and plays the user in the modal
// editor: notes what it shows, moves the sliders to `newValues` (if given),
// then presses OK or Cancel.
Shown openCurve(WindowRig &rig, const QByteArray &slot, const QList<int> &newValues, bool accept)
{
    Shown shown;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        shown.opened = true;
        shown.parent = dialog->parentWidget();
        shown.title = dialog->windowTitle();
        for (int i = 0; i < kPoints; ++i) {
            shown.labels << dialog->findChild<QLabel *>(QStringLiteral("label_v%1").arg(i))->text();
            shown.values << dialog->findChild<QSpinBox *>(QStringLiteral("spinBox_v%1").arg(i))->value();
        }
        for (int i = 0; i < newValues.size(); ++i)
            dialog->findChild<QSlider *>(QStringLiteral("slider_v%1").arg(i))->setValue(newValues[i]);
        auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        box->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        if (dialog->isVisible())
            dialog->done(-1);  // never leave the test stuck in the modal loop
    });
    poll.start();
    rig.invoke(slot.constData());
    poll.stop();
    return shown;
}

// Every byte in 0..100, so the editor shows stored curves unclamped.
QByteArray patterned(int size, int seed)
{
    QByteArray record(size, '\0');
    for (int i = 0; i < size; ++i)
        record[i] = char((seed + i * 7) % 101);
    return record;
}

QList<int> bytesAt(const QByteArray &record, int offset)
{
    QList<int> points;
    for (int i = 0; i < kPoints; ++i)
        points << int(std::int8_t(record[offset + i]));
    return points;
}

// Everything that reached a controller except the telemetry stream, which
// keeps flowing while the editor runs.
int settingsTraffic(const VirtualController *controller)
{
    int count = 0;
    for (const auto &transfer : controller->transfers())
        count += !(transfer.isSetReport() && transfer.data.size() > 1 && transfer.data[1] == 0x02);
    return count;
}

void saveBoth(WindowRig &rig)
{
    rig.invoke("on_software_settings_save_clicked");
    rig.invoke("on_pedal_software_settings_save_clicked");
}

QStringList labelsUpTo(const QStringList &steps) { return QStringList{"0"} + steps; }

} // namespace

// The nineteen "Curve" buttons, observed at the editor they open and at the
// bytes that reach the controllers afterwards.
class TestCurveBindings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir workDir;

    static void addCurveRows()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<bool>("pedals");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("xMaximum");  // speed curves: 1500 joystick, 700 pedals

        auto row = [](const char *button, bool pedals, int offset, const char *title, int x) {
            QTest::newRow(button) << QByteArray("on_") + button + "_clicked" << pedals << offset
                                  << QString::fromUtf8(title) << x;
        };
        row("roll_curve_artificial", false, 118,
            "Roll artificial spring magnitude(%) depending on stick deflection(%)", 100);
        row("roll_curve_aoa", false, 166, "Roll AoA spring magnitude(%) depending on AOA(degrees)", 30);
        row("roll_curve_g_force", false, 142, "Roll GForce spring magnitude(%) depending on G", 10);
        row("pitch_curve_artificial", false, 129,
            "Pitch artificial spring magnitude(%) depending on stick deflection(%)", 100);
        row("pitch_curve_aoa", false, 177, "Pitch AoA spring magnitude(%) depending on AOA(degrees)", 30);
        row("pitch_curve_g_force", false, 153, "Pitch GForce spring magnitude(%) depending on G", 10);
        row("yaw_curve_artificial", true, 115,
            "Yaw artificial spring magnitude(%) depending on pedals deflection(%)", 100);
        row("yaw_curve_aoa", true, 139, "Yaw AoA spring magnitude(%) depending on AOA(degrees)", 30);
        row("yaw_curve_g_force", true, 127, "Yaw GForce spring magnitude(%) depending on G", 10);
        row("joystick_vibe_curve_flaps", false, 13,
            "Flaps shaking effect magnitude(%) depending on speed (km/h)", 1500);
        row("joystick_vibe_curve_airbrake", false, 34,
            "Airbrake shaking effect magnitude(%) depending on on speed (km/h)", 1500);
        row("joystick_vibe_curve_gear", false, 55,
            "Gear shaking effect magnitude(%) depending on on speed (km/h)", 1500);
        row("joystick_vibe_curve_aoa", false, 76,
            "AoA shaking effects magnitude(%) depending on AoA(degrees)", 30);
        row("joystick_vibe_curve_on_ground", false, 97,
            "On ground shaking effects magnitude(%) depending on speed(km/h)", 1500);
        row("pedals_vibe_curve_flaps", true, 10,
            "Flaps shaking effect magnitude(%) depending on speed (km/h)", 700);
        row("pedals_vibe_curve_airbrake", true, 31,
            "Airbrake shaking effect magnitude(%) depending on speed (km/h)", 700);
        row("pedals_vibe_curve_gear", true, 52,
            "Gear shaking effect magnitude(%) depending on speed (km/h)", 700);
        row("pedals_vibe_curve_aoa", true, 73,
            "AoA shaking effects magnitude(%) depending on AoA(degrees)", 30);
        row("pedals_vibe_curve_on_ground", true, 94,
            "On ground shaking effects magnitude(%) depending on speed(km/h)", 700);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(workDir.isValid());
        QVERIFY(QDir::setCurrent(workDir.path()));
    }

    void eachButtonEditsItsOwnCurve_data() { addCurveRows(); }

    // The editor comes up on the stored curve with its own title and scale; an
    // accepted edit stays in the window until the next write, which then
    // carries exactly those 11 bytes changed and nothing else of either record.
    void eachButtonEditsItsOwnCurve()
    {
        QFETCH(QByteArray, slot);
        QFETCH(bool, pedals);
        QFETCH(int, offset);
        QFETCH(QString, title);
        QFETCH(int, xMaximum);

        WindowRig rig(true, true);
        rig.joystick->setEffectRecord(patterned(223, 1));
        rig.pedals->setEffectRecord(patterned(176, 50));
        rig.start();
        rig.control<QSpinBox>("joystick_maximum_speed")->setValue(1500);
        rig.control<QSpinBox>("pedals_maximum_speed")->setValue(700);
        saveBoth(rig);
        const QByteArray joystickBefore = rig.joystick->effectRecord();
        const QByteArray pedalsBefore = rig.pedals->effectRecord();
        VirtualController *target = pedals ? rig.pedals : rig.joystick;
        const QByteArray targetBefore = target->effectRecord();
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();

        QList<int> edited;
        for (int value : bytesAt(targetBefore, offset))
            edited << (value + 41) % 101;  // differs from every stored point
        const Shown shown = openCurve(rig, slot, edited, true);

        QVERIFY(shown.opened);
        QCOMPARE(shown.title, title);
        QCOMPARE(shown.parent, rig.window.get());
        QCOMPARE(shown.values, bytesAt(targetBefore, offset));
        QCOMPARE(shown.labels.first(), QStringLiteral("0"));
        QCOMPARE(shown.labels[5], QString::number(xMaximum / 2));
        QCOMPARE(shown.labels.last(), QString::number(xMaximum));
        QVERIFY(rig.window->findChildren<CurveDialog *>().isEmpty());
        // Nothing travels until the effect settings are written.
        QCOMPARE(settingsTraffic(rig.joystick), 0);
        QCOMPARE(settingsTraffic(rig.pedals), 0);

        saveBoth(rig);
        QByteArray expected = targetBefore;
        for (int i = 0; i < kPoints; ++i)
            expected[offset + i] = char(edited[i]);
        QCOMPARE(target->effectRecord(), expected);
        VirtualController *other = pedals ? rig.joystick : rig.pedals;
        QCOMPARE(other->effectRecord(), pedals ? joystickBefore : pedalsBefore);
    }

    void cancelLeavesRecordAsItWas_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<bool>("pedals");
        QTest::newRow("joystick") << QByteArray("on_pitch_curve_g_force_clicked") << false;
        QTest::newRow("pedals") << QByteArray("on_pedals_vibe_curve_gear_clicked") << true;
    }

    void cancelLeavesRecordAsItWas()
    {
        QFETCH(QByteArray, slot);
        QFETCH(bool, pedals);
        WindowRig rig(!pedals, pedals);
        VirtualController *target = pedals ? rig.pedals : rig.joystick;
        target->setEffectRecord(patterned(target->effectRecordSize(), 9));
        rig.start();
        rig.invoke(pedals ? "on_pedal_software_settings_save_clicked"
                          : "on_software_settings_save_clicked");
        const QByteArray before = target->effectRecord();

        const Shown shown = openCurve(rig, slot, QList<int>(kPoints, 64), false);
        QVERIFY(shown.opened);
        rig.invoke(pedals ? "on_pedal_software_settings_save_clicked"
                          : "on_software_settings_save_clicked");
        QCOMPARE(target->effectRecord(), before);
    }

    // Speed curves follow their own controller's maximum speed as the control
    // shows it, saved or not; G-force curves always span 0 to 10.
    void axisScales_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("joystickSpeed");
        QTest::addColumn<int>("pedalsSpeed");
        QTest::addColumn<QStringList>("labels");

        const QStringList tenths =
            labelsUpTo({"0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"});
        const QStringList g = labelsUpTo({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
        QTest::newRow("joystick flaps, joystick 2500")
            << QByteArray("on_joystick_vibe_curve_flaps_clicked") << 2500 << 700
            << labelsUpTo({"250", "500", "750", "1000", "1250", "1500", "1750", "2000", "2250",
                           "2500"});
        QTest::newRow("joystick on ground ignores pedals 3000")
            << QByteArray("on_joystick_vibe_curve_on_ground_clicked") << 1000 << 3000
            << labelsUpTo({"100", "200", "300", "400", "500", "600", "700", "800", "900", "1000"});
        QTest::newRow("joystick gear, lowest speed")
            << QByteArray("on_joystick_vibe_curve_gear_clicked") << 1 << 2000 << tenths;
        QTest::newRow("pedals airbrake, pedals 555")
            << QByteArray("on_pedals_vibe_curve_airbrake_clicked") << 2000 << 555
            << labelsUpTo({"55.5", "111", "166.5", "222", "277.5", "333", "388.5", "444",
                           "499.5", "555"});
        QTest::newRow("pedals on ground, lowest speed")
            << QByteArray("on_pedals_vibe_curve_on_ground_clicked") << 3000 << 1 << tenths;
        QTest::newRow("roll G") << QByteArray("on_roll_curve_g_force_clicked") << 3000 << 1 << g;
        QTest::newRow("pitch G") << QByteArray("on_pitch_curve_g_force_clicked") << 1 << 3000 << g;
        QTest::newRow("yaw G") << QByteArray("on_yaw_curve_g_force_clicked") << 1 << 3000 << g;
    }

    void axisScales()
    {
        QFETCH(QByteArray, slot);
        QFETCH(int, joystickSpeed);
        QFETCH(int, pedalsSpeed);
        QFETCH(QStringList, labels);

        WindowRig rig(true, true);
        rig.start();
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();
        rig.control<QSpinBox>("joystick_maximum_speed")->setValue(joystickSpeed);
        rig.control<QSpinBox>("pedals_maximum_speed")->setValue(pedalsSpeed);

        const Shown shown = openCurve(rig, slot, {}, false);
        QVERIFY(shown.opened);
        QCOMPARE(shown.labels, labels);
        QCOMPARE(settingsTraffic(rig.joystick), 0);
        QCOMPARE(settingsTraffic(rig.pedals), 0);
    }

    // Without controllers the buttons still edit what the window holds, and
    // the next opening starts from the accepted points.
    void reopeningShowsAcceptedPoints_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::newRow("joystick") << QByteArray("on_roll_curve_aoa_clicked");
        QTest::newRow("pedals") << QByteArray("on_pedals_vibe_curve_flaps_clicked");
    }

    void reopeningShowsAcceptedPoints()
    {
        QFETCH(QByteArray, slot);
        WindowRig rig(false, false);
        rig.start();

        const QList<int> edited{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 100};
        QVERIFY(openCurve(rig, slot, edited, true).opened);
        const Shown again = openCurve(rig, slot, {}, false);
        QVERIFY(again.opened);
        QCOMPARE(again.values, edited);
    }
};

VORKAST_USB_TEST_MAIN(TestCurveBindings)
#include "tst_curvebindings.moc"
