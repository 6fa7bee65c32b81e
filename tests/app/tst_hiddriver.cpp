// The window on a Linux desktop, where the kernel's HID driver holds both
// controllers: start-up reads, writes with the busy wait, DFU and telemetry
// reach the controllers through hidraw exactly as they do through libusb.

#include "mainwindow.h"
#include "testbytes.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <memory>

using Kind = VirtualController::Kind;
using Driver = EmulatedUsbBus::Driver;

namespace {

bool isTelemetry(const VirtualController::Transfer &t)
{
    return t.isSetReport() && t.data.size() > 1 && t.data[1] == 0x02;
}

struct Observed
{
    QStringList tabs;
    QStringList joystick;  // every transfer but telemetry, as the controller saw it
    QStringList pedals;
    QByteArray joystickTelemetry;  // the last telemetry report each received
    QByteArray pedalsTelemetry;
    EmulatedUsbBus::Traffic joystickTraffic;
    EmulatedUsbBus::Traffic pedalsTraffic;
    int joystickTransfers = 0;
    int pedalsTransfers = 0;
    bool telemetryArrived = false;
};

QStringList withoutTelemetry(const VirtualController &controller)
{
    QStringList log;
    for (const VirtualController::Transfer &t : controller.transfers()) {
        if (!isTelemetry(t))
            log << QString::asprintf("%02x %02x %04x %04x %u %s ", t.requestType, t.request,
                                     t.value, t.index, unsigned(t.length),
                                     t.stalled ? "stall" : "ok")
                    + QString::fromLatin1(t.data.toHex());
    }
    return log;
}

QByteArray lastValidTelemetry(const VirtualController &controller)
{
    const QList<QByteArray> reports = controller.telemetryReports();
    for (auto it = reports.crbegin(); it != reports.crend(); ++it) {
        if (std::uint8_t((*it)[2]) & 0x01)  // the packet's "valid" flag
            return *it;
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Driver)

class TestHidDriver : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

    // One session of the window with both controllers held by `driver`.
    static Observed runWindow(Driver driver)
    {
        Observed seen;
        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, driver);
        VirtualController &pedals = bus.attach(Kind::Pedals, driver);
        joystick.setEffectRecord(patterned(joystick.effectRecordSize(), 1));
        joystick.setHardwareRecord(patterned(joystick.hardwareRecordSize(), 2));
        pedals.setEffectRecord(patterned(pedals.effectRecordSize(), 3));
        pedals.setHardwareRecord(patterned(pedals.hardwareRecordSize(), 4));
        joystick.scriptBusy({1, 1, 0});
        pedals.scriptBusy({1, 0});

        auto window = std::make_unique<MainWindow>(nullptr, testPorts());
        const auto invoke = [&](const char *slot) { WindowRig::invokeSlot(window.get(), slot); };
        invoke("on_software_settings_save_clicked");
        invoke("on_pedal_hardware_settings_save_clicked");
        invoke("on_dfu_mode_button_clicked");
        invoke("on_pedal_dfu_mode_button_clicked");

        // Telemetry from the debug source, the same in every session.
        auto *mode = window->findChild<QComboBox *>("telemetryMode");
        mode->setCurrentIndex(4);
        emit mode->activated(4);
        window->findChild<QSlider *>("telemetry_in_airspeed")->setValue(640);
        window->findChild<QSlider *>("telemetry_in_g_force")->setValue(35);
        window->findChild<QSlider *>("telemetry_in_flaps")->setValue(30);
        window->findChild<QCheckBox *>("telemetry_in_valid")->setChecked(true);
        seen.telemetryArrived = QTest::qWaitFor([&] {
            return !lastValidTelemetry(joystick).isEmpty() && !lastValidTelemetry(pedals).isEmpty();
        }, 5000);

        auto *tabs = window->findChild<QTabWidget *>("main_tabplane");
        for (int i = 0; i < 2; ++i)
            seen.tabs << tabs->tabText(i);
        window.reset();

        seen.joystick = withoutTelemetry(joystick);
        seen.pedals = withoutTelemetry(pedals);
        seen.joystickTelemetry = lastValidTelemetry(joystick);
        seen.pedalsTelemetry = lastValidTelemetry(pedals);
        seen.joystickTraffic = bus.traffic(joystick);
        seen.pedalsTraffic = bus.traffic(pedals);
        seen.joystickTransfers = int(joystick.transfers().size());
        seen.pedalsTransfers = int(pedals.transfers().size());
        return seen;
    }

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    void sameSessionThroughHidraw()
    {
        const Observed usbfs = runWindow(Driver::None);
        const Observed hidraw = runWindow(Driver::Hid);

        // The reference session did it all: both start-up reads, the writes
        // with their status polls and read-backs, DFU; and telemetry.
        const QStringList startup{QStringLiteral("a1 01 031f"), QStringLiteral("a1 01 0320")};
        for (const QStringList &log : {usbfs.joystick, usbfs.pedals}) {
            QVERIFY(log.size() > 2);
            QVERIFY(log[0].startsWith(startup[0]));
            QVERIFY(log[1].startsWith(startup[1]));
        }
        QCOMPARE(usbfs.joystick.size(), 2 + 5 + 3 + 1 + 1);
        QCOMPARE(usbfs.pedals.size(), 2 + 3 + 2 + 1 + 1);
        QVERIFY(usbfs.telemetryArrived);
        QVERIFY(hidraw.telemetryArrived);

        QCOMPARE(hidraw.tabs, usbfs.tabs);
        QCOMPARE(hidraw.joystick, usbfs.joystick);
        QCOMPARE(hidraw.pedals, usbfs.pedals);
        QCOMPARE(hidraw.joystickTelemetry, usbfs.joystickTelemetry);
        QCOMPARE(hidraw.pedalsTelemetry, usbfs.pedalsTelemetry);

        // All of it through hidraw, and the driver kept its interfaces.
        for (const auto &[traffic, transfers] :
             {std::pair{hidraw.joystickTraffic, hidraw.joystickTransfers},
              std::pair{hidraw.pedalsTraffic, hidraw.pedalsTransfers}}) {
            QCOMPARE(traffic.hidrawFeature, transfers);
            QCOMPARE(traffic.usbfsControl, 0);
            QCOMPARE(traffic.usbfsRefused, 0);
            QCOMPARE(traffic.driverGrabs, QStringList());
        }
    }

    // No access to the hidraw nodes: the controllers are there but cannot be
    // reached, so their tabs say "(Not connected)" and stderr says why;
    // nothing reaches them any other way, and the window carries on.
    void unreachableControllersAreNotConnected()
    {
        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::HidNodeUnopenable);
        VirtualController &pedals = bus.attach(Kind::Pedals, Driver::HidNodeUnopenable);

        for (const char *name : {"Joystick", "Pedals"})
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^%1 controller not usable: "
                                                                   "cannot open /dev/hidraw\\d+")
                                                        .arg(QLatin1StringView(name))));
        auto window = std::make_unique<MainWindow>(nullptr, testPorts());
        auto *tabs = window->findChild<QTabWidget *>("main_tabplane");
        QCOMPARE(tabs->tabText(0), QStringLiteral("Joystick (Not connected)"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Pedals (Not connected)"));
        WindowRig::invokeSlot(window.get(), "on_software_settings_save_clicked");
        WindowRig::invokeSlot(window.get(), "on_pedal_dfu_mode_button_clicked");
        QTest::qWait(200);  // telemetry ticks
        window.reset();

        for (VirtualController *controller : {&joystick, &pedals}) {
            QVERIFY(controller->transfers().isEmpty());
            const EmulatedUsbBus::Traffic traffic = bus.traffic(*controller);
            QCOMPARE(traffic.usbfsControl + traffic.usbfsRefused + traffic.hidrawFeature, 0);
            QCOMPARE(traffic.driverGrabs, QStringList());
        }
    }
};

VORKAST_USB_TEST_MAIN(TestHidDriver)
#include "tst_hiddriver.moc"
