#include "records.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <cstddef>

// Controllers plugged in, pulled out and plugged back while the window runs,
// on both routes: the HID driver's hidraw node and usbfs with no driver.

namespace {

using Driver = EmulatedUsbBus::Driver;
using Kind = VirtualController::Kind;

constexpr std::size_t kYawGainAt = offsetof(PedalsSoftwareSettings, yawGainTotal);

// The telemetry reports a controller was sent, by arrival time.
QList<std::int64_t> telemetryTimes(const VirtualController &controller)
{
    QList<std::int64_t> times;
    for (const auto &transfer : controller.transfers()) {
        if (transfer.isSetReport() && transfer.data.size() == 65 && transfer.data[1] == 0x02)
            times.append(transfer.arrivedNs);
    }
    return times;
}

// A simulator sending DCS records at 50 Hz for as long as it lives.
struct DcsStream
{
    QUdpSocket socket;
    QTimer timer;

    DcsStream()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            socket.writeDatagram("1;350.5;-2.5;1.2;4.5;1500;0.5;0;0.25;1;0;0;1", QHostAddress::LocalHost,
                                 testPorts().dcs);
        });
        timer.start(20);
    }
};

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

    static void addRoutes()
    {
        QTest::addColumn<Driver>("driver");
        QTest::newRow("HID driver") << Driver::Hid;
#ifndef _WIN32  // Windows keeps its HID driver on the controllers
        QTest::newRow("no driver") << Driver::None;
#endif
    }

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    void pulledOutAndPluggedBackWhileStreaming_data() { addRoutes(); }

    // The pedals go and come back mid-flight. Nothing is sent to them while
    // they are away (at most the one transfer that found them gone), the
    // joystick's telemetry never pauses, and on their return they are read
    // as at start-up and get their turns again.
    void pulledOutAndPluggedBackWhileStreaming()
    {
        QFETCH(Driver, driver);
        WindowRig rig(false, false);
        rig.joystick = &rig.bus.attach(Kind::Joystick, driver);
        rig.pedals = &rig.bus.attach(Kind::Pedals, driver);
        rig.start();
        DcsStream dcs;
        QTest::qWait(200);

        rig.bus.unplug(*rig.pedals);
        QTRY_COMPARE(rig.tabText(1), QStringLiteral("Pedals (Not connected)"));
        QCOMPARE(rig.status(), QStringLiteral("Pedals disconnected"));
        QCOMPARE(rig.tabText(0), QStringLiteral("Joystick"));
        QTest::qWait(300);
        QVERIFY(rig.bus.traffic(*rig.pedals).goneRequests <= 1);

        QByteArray effects = rig.pedals->effectRecord();
        effects[kYawGainAt] = char(61);
        rig.pedals->setEffectRecord(effects);
        rig.pedals->clearTransfers();
        rig.bus.plugIn(*rig.pedals);
        QTRY_COMPARE(rig.tabText(1), QStringLiteral("Pedals"));
        QCOMPARE(rig.status(), QStringLiteral("Pedals connected"));
        QCOMPARE(rig.control<QSpinBox>("yaw_gain_total")->value(), 61);
        QVERIFY(rig.bus.traffic(*rig.pedals).goneRequests <= 1);

        const auto back = rig.pedals->transfers();
        QVERIFY(back.size() >= 2);
        QVERIFY(back[0].isGetReport() && back[0].reportId() == 0x1F);
        QVERIFY(back[1].isGetReport() && back[1].reportId() == 0x20);
        QTRY_VERIFY(telemetryTimes(*rig.pedals).size() >= 5);

        // The pedals' turns came back in the alternation: the two take turns.
        const QList<std::int64_t> pedalsTimes = telemetryTimes(*rig.pedals);
        QList<std::int64_t> joystickTimes;
        for (std::int64_t at : telemetryTimes(*rig.joystick)) {
            if (at > pedalsTimes.first())
                joystickTimes.append(at);
        }
        QVERIFY(!joystickTimes.isEmpty());
        QVERIFY(qAbs(pedalsTimes.size() - joystickTimes.size()) <= 1);

        const QList<std::int64_t> all = telemetryTimes(*rig.joystick);
        std::int64_t longestGap = 0;
        for (qsizetype i = 1; i < all.size(); ++i)
            longestGap = std::max(longestGap, all[i] - all[i - 1]);
        QVERIFY2(longestGap < 250'000'000, qPrintable(QString::number(longestGap / 1'000'000)));
    }

    void pluggedInAfterStart_data() { addRoutes(); }

    void pluggedInAfterStart()
    {
        QFETCH(Driver, driver);
        WindowRig rig(false, false);
        rig.start();
        QCOMPARE(rig.tabText(0), QStringLiteral("Joystick (Not connected)"));
        rig.joystick = &rig.bus.attach(Kind::Joystick, driver);
        QTRY_COMPARE(rig.tabText(0), QStringLiteral("Joystick"));
        QCOMPARE(rig.status(), QStringLiteral("Joystick connected"));
        QCOMPARE(rig.tabText(1), QStringLiteral("Pedals (Not connected)"));
        const auto transfers = rig.joystick->transfers();
        QVERIFY(transfers.size() >= 2);
        QCOMPARE(transfers[0].reportId(), std::uint8_t(0x1F));
        QCOMPARE(transfers[1].reportId(), std::uint8_t(0x20));
    }

    // What the user set while the pedals were away is what they meant to send:
    // it is not read over, and the status bar says so.
    void editsWhileAwayAreKept()
    {
        WindowRig rig(false, false);
        rig.start();
        auto *gain = rig.control<QSpinBox>("yaw_gain_total");
        gain->setValue(gain->value() == 12 ? 13 : 12);
        const int edited = gain->value();
        rig.pedals = &rig.bus.attach(Kind::Pedals, Driver::Hid);
        QTRY_COMPARE(rig.tabText(1), QStringLiteral("Pedals"));
        QCOMPARE(rig.status(), QStringLiteral("Pedals connected: its settings were not read, your "
                                              "edits are kept; read or write them"));
        QCOMPARE(gain->value(), edited);
        for (const auto &transfer : rig.pedals->transfers())
            QVERIFY(!transfer.isGetReport() || transfer.reportId() == 0x21);
    }
};

VORKAST_USB_TEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
