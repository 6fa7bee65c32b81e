#include "curvebindings.h"
#include "curvedialog.h"
#include "curveinput.h"
#include "curveplot.h"
#include "testbytes.h"
#include "testmain.h"
#include "ui_mainwindow.h"
#include "windowrig.h"
#include "workdir.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <iterator>

using namespace vorkast::settings;

Q_DECLARE_METATYPE(CurveAxis)

namespace {

constexpr int kPoints = 11;

// Each button's curve as the controllers and the users know it; offsets are
// written out independently of the record types on purpose.
struct ExpectedCurve
{
    const char *button;
    bool pedals;
    int offset;
    const char *title;
    CurveAxis axis;
};

constexpr bool J = false;
constexpr bool P = true;
using enum CurveAxis;

constexpr ExpectedCurve kExpected[] = {
    {"roll_curve_artificial", J, 118,
     "Roll artificial spring magnitude(%) depending on stick deflection(%)", Deflection},
    {"roll_curve_aoa", J, 166, "Roll AoA spring magnitude(%) depending on AOA(degrees)", Aoa},
    {"roll_curve_g_force", J, 142, "Roll GForce spring magnitude(%) depending on G", GForce},
    {"pitch_curve_artificial", J, 129,
     "Pitch artificial spring magnitude(%) depending on stick deflection(%)", Deflection},
    {"pitch_curve_aoa", J, 177, "Pitch AoA spring magnitude(%) depending on AOA(degrees)", Aoa},
    {"pitch_curve_g_force", J, 153, "Pitch GForce spring magnitude(%) depending on G", GForce},
    {"yaw_curve_artificial", P, 115,
     "Yaw artificial spring magnitude(%) depending on pedals deflection(%)", Deflection},
    {"yaw_curve_aoa", P, 139, "Yaw AoA spring magnitude(%) depending on AOA(degrees)", Aoa},
    {"yaw_curve_g_force", P, 127, "Yaw GForce spring magnitude(%) depending on G", GForce},
    {"joystick_vibe_curve_flaps", J, 13,
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", Speed},
    {"joystick_vibe_curve_airbrake", J, 34,
     "Airbrake shaking effect magnitude(%) depending on on speed (km/h)", Speed},
    {"joystick_vibe_curve_gear", J, 55,
     "Gear shaking effect magnitude(%) depending on on speed (km/h)", Speed},
    {"joystick_vibe_curve_aoa", J, 76, "AoA shaking effects magnitude(%) depending on AoA(degrees)",
     Aoa},
    {"joystick_vibe_curve_on_ground", J, 97,
     "On ground shaking effects magnitude(%) depending on speed(km/h)", Speed},
    {"pedals_vibe_curve_flaps", P, 10,
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", Speed},
    {"pedals_vibe_curve_airbrake", P, 31,
     "Airbrake shaking effect magnitude(%) depending on speed (km/h)", Speed},
    {"pedals_vibe_curve_gear", P, 52, "Gear shaking effect magnitude(%) depending on speed (km/h)",
     Speed},
    {"pedals_vibe_curve_aoa", P, 73, "AoA shaking effects magnitude(%) depending on AoA(degrees)",
     Aoa},
    {"pedals_vibe_curve_on_ground", P, 94,
     "On ground shaking effects magnitude(%) depending on speed(km/h)", Speed},
};

QByteArray slotOf(const QString &button) { return ("on_" + button + "_clicked").toLatin1(); }

// What the curve editor showed while it was up.
struct Shown
{
    bool opened = false;
    QWidget *parent = nullptr;
    QString title;
    QStringList labels;
    QList<int> values;
};

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

// Drags point `index` of the editor's plot to `value` with the mouse.
void dragPoint(CurvePlot *plot, int index, int value)
{
    const QRectF area = plot->plotArea();
    const QPoint from =
        vorkast::curves::pointPosition(area, index, plot->point(index), 0, 100).toPoint();
    const QPoint to = vorkast::curves::pointPosition(area, index, value, 0, 100).toPoint();
    QTest::mousePress(plot, Qt::LeftButton, {}, from);
    QTest::mouseMove(plot, (from + to) / 2);
    QTest::mouseMove(plot, to);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, to);
}

// Runs `slot`'s editor modally with `drive` acting as the user in it.
void inEditor(WindowRig &rig, const char *slot, const std::function<void(QDialog *)> &drive)
{
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        drive(dialog);
        if (dialog->isVisible())
            dialog->done(-1);  // never leave the test stuck in the modal loop
    });
    poll.start();
    rig.invoke(slot);
}

// Runs a curve slot as its button would and plays the user in the modal
// editor: notes what it shows, moves the sliders to `newValues` (if given),
// then presses OK or Cancel.
Shown openCurve(WindowRig &rig, const QByteArray &slot, const QList<int> &newValues, bool accept)
{
    Shown shown;
    inEditor(rig, slot.constData(), [&](QDialog *dialog) {
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
    });
    return shown;
}

} // namespace

// The nineteen "Curve" buttons: their table, and the editor they open with the
// bytes that reach the controllers afterwards.
class TestCurveBindings : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    // Every row names a button of the form with a slot of the window, and a
    // curve of its own inside its record.
    void tableFitsRecordsFormAndWindow()
    {
        QMainWindow form;
        Ui::MainWindow ui;
        ui.setupUi(&form);
        QCOMPARE(std::size(kCurveBindings), std::size(kExpected));
        for (std::size_t i = 0; i < std::size(kCurveBindings); ++i) {
            const CurveBinding &row = kCurveBindings[i];
            const ExpectedCurve &expected = kExpected[i];
            const auto button = QString::fromLatin1(row.button.data(), qsizetype(row.button.size()));
            QCOMPARE(button, QString::fromLatin1(expected.button));
            QCOMPARE(row.record == CurveRecord::Pedals, expected.pedals);
            QCOMPARE(int(row.offset), expected.offset);
            QCOMPARE(row.title, expected.title);
            QCOMPARE(row.axis, expected.axis);

            const std::size_t recordSize = expected.pedals ? 176 : 223;
            QVERIFY2(row.offset + kPoints <= recordSize, row.title);
            for (std::size_t j = 0; j < i; ++j) {
                const CurveBinding &earlier = kCurveBindings[j];
                QVERIFY2(earlier.record != row.record || earlier.offset + kPoints <= row.offset
                             || row.offset + kPoints <= earlier.offset,
                         qPrintable(button));
            }
            QVERIFY2(form.findChild<QPushButton *>(button), qPrintable(button));
            QVERIFY2(MainWindow::staticMetaObject.indexOfSlot(slotOf(button) + "()") >= 0,
                     qPrintable(button));
        }
    }

    // One button per axis kind and per record. The editor comes up on the
    // stored curve with its own title and scale; a cancelled edit changes
    // nothing, and an accepted one stays in the window until the next write,
    // which then carries exactly those 11 bytes changed and nothing else of
    // either record.
    void buttonEditsItsOwnCurve_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("xMaximum");  // speed curves: 1500 joystick, 700 pedals
        QTest::newRow("joystick deflection") << "roll_curve_artificial" << 100;
        QTest::newRow("pedals AoA") << "yaw_curve_aoa" << 30;
        QTest::newRow("joystick G") << "pitch_curve_g_force" << 10;
        QTest::newRow("joystick speed") << "joystick_vibe_curve_on_ground" << 1500;
        QTest::newRow("pedals speed") << "pedals_vibe_curve_gear" << 700;
    }

    void buttonEditsItsOwnCurve()
    {
        QFETCH(QString, button);
        QFETCH(int, xMaximum);
        const ExpectedCurve &curve = *std::find_if(
            std::begin(kExpected), std::end(kExpected),
            [&](const ExpectedCurve &row) { return button == QLatin1StringView(row.button); });
        const QByteArray slot = slotOf(button);

        WindowRig rig(true, true);
        // Every byte in 0..100, so the editor shows stored curves unclamped.
        rig.joystick->setEffectRecord(patterned(223, 1, 7, 101));
        rig.pedals->setEffectRecord(patterned(176, 50, 7, 101));
        rig.start();
        rig.control<QSpinBox>("joystick_maximum_speed")->setValue(1500);
        rig.control<QSpinBox>("pedals_maximum_speed")->setValue(700);
        saveBoth(rig);
        VirtualController *target = curve.pedals ? rig.pedals : rig.joystick;
        VirtualController *other = curve.pedals ? rig.joystick : rig.pedals;
        const QByteArray targetBefore = target->effectRecord();
        const QByteArray otherBefore = other->effectRecord();
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();

        QVERIFY(openCurve(rig, slot, QList<int>(kPoints, 64), false).opened);
        QList<int> edited;
        for (int value : bytesAt(targetBefore, curve.offset))
            edited << (value + 41) % 101;  // differs from every stored point
        const Shown shown = openCurve(rig, slot, edited, true);

        QVERIFY(shown.opened);
        QCOMPARE(shown.title, QString::fromUtf8(curve.title));
        QCOMPARE(shown.parent, rig.window.get());
        QCOMPARE(shown.values, bytesAt(targetBefore, curve.offset));
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
            expected[curve.offset + i] = char(edited[i]);
        QCOMPARE(target->effectRecord(), expected);
        QCOMPARE(other->effectRecord(), otherBefore);
    }

    // Without controllers too: speed curves follow their own controller's
    // maximum speed as the control shows it, G-force curves always span 0 to
    // 10, and the next opening starts from the accepted points.
    void axisScales_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<int>("joystickSpeed");
        QTest::addColumn<int>("pedalsSpeed");
        QTest::addColumn<QStringList>("labels");

        const QStringList g = labelsUpTo({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
        QTest::newRow("joystick flaps, joystick 2500")
            << QByteArray("on_joystick_vibe_curve_flaps_clicked") << 2500 << 700
            << labelsUpTo({"250", "500", "750", "1000", "1250", "1500", "1750", "2000", "2250",
                           "2500"});
        QTest::newRow("joystick on ground ignores pedals 3000")
            << QByteArray("on_joystick_vibe_curve_on_ground_clicked") << 1000 << 3000
            << labelsUpTo({"100", "200", "300", "400", "500", "600", "700", "800", "900", "1000"});
        QTest::newRow("pedals airbrake, pedals 555")
            << QByteArray("on_pedals_vibe_curve_airbrake_clicked") << 2000 << 555
            << labelsUpTo({"55.5", "111", "166.5", "222", "277.5", "333", "388.5", "444",
                           "499.5", "555"});
        QTest::newRow("pedals on ground, lowest speed")
            << QByteArray("on_pedals_vibe_curve_on_ground_clicked") << 3000 << 1
            << labelsUpTo({"0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"});
        QTest::newRow("roll G") << QByteArray("on_roll_curve_g_force_clicked") << 3000 << 1 << g;
        QTest::newRow("yaw G") << QByteArray("on_yaw_curve_g_force_clicked") << 1 << 3000 << g;
    }

    void axisScales()
    {
        QFETCH(QByteArray, slot);
        QFETCH(int, joystickSpeed);
        QFETCH(int, pedalsSpeed);
        QFETCH(QStringList, labels);

        WindowRig rig(false, false);
        rig.start();
        rig.control<QSpinBox>("joystick_maximum_speed")->setValue(joystickSpeed);
        rig.control<QSpinBox>("pedals_maximum_speed")->setValue(pedalsSpeed);

        const QList<int> edited{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 100};
        const Shown shown = openCurve(rig, slot, edited, true);
        QVERIFY(shown.opened);
        QCOMPARE(shown.labels, labels);
        QCOMPARE(openCurve(rig, slot, {}, false).values, edited);
    }

    // The plot is another way to move the points: a drag, a preset or a key
    // shows at once in the slider and the spin box, OK keeps it for the next
    // write and Cancel forgets it.
    void plotEditsTheCurve()
    {
        constexpr int kOffset = 118;  // roll artificial spring curve
        WindowRig rig(true, false);
        rig.joystick->setEffectRecord(patterned(223, 1, 7, 101));
        rig.start();
        rig.invoke("on_software_settings_save_clicked");
        const QByteArray before = rig.joystick->effectRecord();
        const QList<int> stored = bytesAt(before, kOffset);
        const auto slider = [](QDialog *dialog, int i) {
            return dialog->findChild<QSlider *>(QStringLiteral("slider_v%1").arg(i))->value();
        };
        const auto spinBox = [](QDialog *dialog, int i) {
            return dialog->findChild<QSpinBox *>(QStringLiteral("spinBox_v%1").arg(i))->value();
        };
        const auto button = [](QDialog *dialog, QDialogButtonBox::StandardButton which) {
            return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
        };

        bool cancelled = false;
        inEditor(rig, "on_roll_curve_artificial_clicked", [&](QDialog *dialog) {
            auto *plot = dialog->findChild<CurvePlot *>(QStringLiteral("curve_plot"));
            QVERIFY(plot);
            for (int i = 0; i < kPoints; ++i)
                QCOMPARE(plot->point(i), stored[i]);
            QVERIFY(!plot->marker());  // deflection: no telemetry input
            dialog->findChild<QPushButton *>(QStringLiteral("curve_shape_s_curve"))->click();
            const QList<int> sCurve{0, 3, 10, 22, 35, 50, 65, 78, 90, 97, 100};
            for (int i = 0; i < kPoints; ++i) {
                QCOMPARE(spinBox(dialog, i), sCurve[i]);
                QCOMPARE(plot->point(i), sCurve[i]);
            }
            dragPoint(plot, 2, 60);
            QCOMPARE(spinBox(dialog, 2), 60);
            QTest::mouseClick(button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
            cancelled = !dialog->isVisible();
        });
        QVERIFY(cancelled);
        rig.invoke("on_software_settings_save_clicked");
        QCOMPARE(rig.joystick->effectRecord(), before);

        bool accepted = false;
        inEditor(rig, "on_roll_curve_artificial_clicked", [&](QDialog *dialog) {
            auto *plot = dialog->findChild<CurvePlot *>(QStringLiteral("curve_plot"));
            dragPoint(plot, 4, 80);
            QCOMPARE(slider(dialog, 4), 80);
            QCOMPARE(spinBox(dialog, 4), 80);
            QCOMPARE(plot->selectedPoint(), 4);
            QTest::keyClick(plot, Qt::Key_Up);
            QTest::keyClick(plot, Qt::Key_Right);
            QTest::keyClick(plot, Qt::Key_PageDown);
            QCOMPARE(spinBox(dialog, 4), 81);
            QCOMPARE(slider(dialog, 5), stored[5] - 10);
            QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
            accepted = !dialog->isVisible();
        });
        QVERIFY(accepted);
        rig.invoke("on_software_settings_save_clicked");
        QByteArray expected = before;
        expected[kOffset + 4] = char(81);
        expected[kOffset + 5] = char(stored[5] - 10);
        QCOMPARE(rig.joystick->effectRecord(), expected);
    }

    // The marker follows the packet the controllers are sent, in the curve's unit.
    void curveInputs_data()
    {
        QTest::addColumn<CurveAxis>("axis");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("expected");  // -1: no marker
        QTest::newRow("deflection") << Deflection << true << -1.0;
        QTest::newRow("AoA") << Aoa << true << 12.5;
        QTest::newRow("G") << GForce << true << 3.25;
        QTest::newRow("speed") << Speed << true << 640.0;
        QTest::newRow("AoA, not valid") << Aoa << false << -1.0;
        QTest::newRow("speed, not valid") << Speed << false << -1.0;
    }

    void curveInputs()
    {
        QFETCH(CurveAxis, axis);
        QFETCH(bool, valid);
        QFETCH(double, expected);
        TelemetryPacket packet{};
        packet.flags = valid ? TelemetryFlags::Valid : 0;
        packet.airspeed = 640.0f;
        packet.vertical_speed = -7.0f;
        packet.g_force = 3.25f;
        packet.aoa = 12.5f;
        QCOMPARE(vorkast::curveInput(axis, packet).value_or(-1.0), expected);
    }
};

VORKAST_USB_TEST_MAIN(TestCurveBindings)
#include "tst_curvebindings.moc"
