#include "testbytes.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

// Telemetry from the sources to the controllers, as the controllers see it:
// the exact reports, the hold and blank of invalid records, the alternation,
// and the "Telemetry debug" view.

namespace {

struct Report
{
    quint64 sequence;
    VirtualController *to;
    QByteArray packet;  // bytes 2..29
    QByteArray tail;    // bytes 30..64, always zero
};

// Telemetry reports that arrived after `after`, in order, across controllers.
QList<Report> reportsAfter(quint64 after, std::initializer_list<VirtualController *> controllers)
{
    QList<Report> reports;
    for (VirtualController *controller : controllers) {
        if (!controller)
            continue;
        for (const auto &transfer : controller->transfers()) {
            if (transfer.sequence > after && transfer.isSetReport()
                && transfer.data.size() == 65 && transfer.data[1] == 0x02) {
                reports.append({transfer.sequence, controller, transfer.data.mid(2, 28),
                                transfer.data.mid(30)});
            }
        }
    }
    std::sort(reports.begin(), reports.end(),
              [](const Report &a, const Report &b) { return a.sequence < b.sequence; });
    return reports;
}

quint64 lastSequence(std::initializer_list<VirtualController *> controllers)
{
    quint64 last = 0;
    for (VirtualController *controller : controllers) {
        if (controller && !controller->transfers().isEmpty())
            last = std::max(last, controller->transfers().last().sequence);
    }
    return last;
}

void sendDcs(const QByteArray &datagram)
{
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, testPorts().dcs);
}

void sendIl2(const QByteArray &datagram)
{
    QUdpSocket sender;
    sender.writeDatagram(datagram, QHostAddress::LocalHost, testPorts().il2);
}

const QByteArray kSample = "1;350.5;-2.5;1.2;4.5;1500;0.5;0;0.25;1;0;0;1";
// Ten header bytes (the telemetry packet id, then size and tick).
const QByteArray kIl2Header = QByteArray::fromHex("01 01 00 54") + QByteArray(6, '\0');
// One block: id 6 (airspeed), one value, 100 m/s.
const QByteArray kIl2Sample = kIl2Header + QByteArray::fromHex("01 06 00 01") + f32(100.0f);
// What the game sends while paused: no blocks, no events.
const QByteArray kIl2Paused = kIl2Header + QByteArray(2, '\0');
const QByteArray kSamplePacket = QByteArray::fromHex("05 32 00 19 64 00 00 00") + f32(1500.0f)
    + f32(350.5f) + f32(-2.5f) + f32(1.2f) + f32(4.5f);

} // namespace

class TestTelemetryBridge : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

    static void chooseSource(WindowRig &rig, int index)
    {
        auto *mode = rig.control<QComboBox>("telemetryMode");
        mode->setCurrentIndex(index);
        emit mode->activated(index);
    }

    // Sends a DCS datagram (again on every call: one sent before the bind is
    // lost); true once a report after `since` carries `packet`.
    static bool arrives(WindowRig &rig, quint64 since, const QByteArray &datagram,
                        const QByteArray &packet)
    {
        sendDcs(datagram);
        for (const Report &report : reportsAfter(since, {rig.joystick, rig.pedals}))
            if (report.packet == packet)
                return true;
        return false;
    }

    // The view as the user sees it: its tab in front.
    static QString shown(WindowRig &rig, const char *field)
    {
        rig.showTab(2);
        return rig.control<QLineEdit>(field)->text();
    }

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    // A DCS datagram reaches the controllers as exactly these 28 bytes and
    // shows in the view; DCS is the source at start.
    void dcsDatagramReachesControllers()
    {
        WindowRig rig(true, true);
        rig.start();
        QCOMPARE(rig.control<QComboBox>("telemetryMode")->currentText(), QStringLiteral("DCS"));

        const quint64 before = lastSequence({rig.joystick, rig.pedals});
        QTRY_VERIFY_WITH_TIMEOUT(arrives(rig, before, kSample, kSamplePacket), 5000);
        QCOMPARE(shown(rig, "telemetry_out_valid"), QStringLiteral("YES"));
        QCOMPARE(shown(rig, "telemetry_out_on_ground"), QStringLiteral("YES"));
        QCOMPARE(shown(rig, "telemetry_out_trim_override"), QStringLiteral("NO"));
        QCOMPARE(shown(rig, "telemetry_out_airspeed"), QStringLiteral("350.5"));
        QCOMPARE(shown(rig, "telemetry_out_vertical_speed"), QStringLiteral("-2.5"));
        QCOMPARE(shown(rig, "telemetry_out_g_force"), QStringLiteral("1.2"));
        QCOMPARE(shown(rig, "telemetry_out_aoa"), QStringLiteral("4.5"));
        QCOMPARE(shown(rig, "telemetry_out_thrust"), QStringLiteral("1500"));
        QCOMPARE(shown(rig, "telemetry_out_flaps"), QStringLiteral("50"));
        QCOMPARE(shown(rig, "telemetry_out_brake"), QStringLiteral("25"));
        QCOMPARE(shown(rig, "telemetry_out_gear"), QStringLiteral("100"));

        // NaN airspeed is sent as 0.0; the other floats are untouched.
        const QByteArray withNan = "1;nan;-2.5;1.2;4.5;1500;0.5;0;0.25;1;0;0;1";
        QByteArray expected = kSamplePacket;
        expected.replace(12, 4, f32(0.0f));
        const quint64 later = lastSequence({rig.joystick, rig.pedals});
        QTRY_VERIFY_WITH_TIMEOUT(arrives(rig, later, withNan, expected), 5000);
        QTRY_COMPARE(shown(rig, "telemetry_out_airspeed"), QStringLiteral("0"));
    }

    // A value that stays the same stays selected, so it can be copied; a new
    // value still shows on the next tick.
    void viewKeepsSelectionOfUnchangedValue()
    {
        WindowRig rig(true, true);
        rig.start();
        rig.showTab(2);
        // The focus settles a moment after activation, clearing a selection
        // made before it.
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        auto *airspeed = rig.control<QLineEdit>("telemetry_out_airspeed");
        QTRY_COMPARE(airspeed->text(), QStringLiteral("0"));
        QTest::qWait(100);
        airspeed->selectAll();
        QTest::qWait(200);  // ten ticks of all-zero records
        QCOMPARE(airspeed->selectedText(), QStringLiteral("0"));

        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                sendDcs(kSample);
                return airspeed->text() == QStringLiteral("350.5");
            }(),
            5000);
    }

    // Behind another tab the fields are left alone, however the packet
    // changes; brought to the front, the tab shows the packet last sent at once.
    void hiddenViewCatchesUpWhenShown()
    {
        WindowRig rig(true, true);
        rig.start();
        rig.showTab(0);
        auto *airspeed = rig.control<QLineEdit>("telemetry_out_airspeed");
        const QString before = airspeed->text();
        const quint64 mark = lastSequence({rig.joystick, rig.pedals});
        QTRY_VERIFY_WITH_TIMEOUT(arrives(rig, mark, kSample, kSamplePacket), 5000);
        QCOMPARE(airspeed->text(), before);
        rig.control<QTabWidget>("main_tabplane")->setCurrentIndex(2);
        QCOMPARE(airspeed->text(), QStringLiteral("350.5"));
    }

    // After the last valid record the packet is held, valid bit and all, for
    // exactly 50 records, then blanked; a valid record restores it. Counted in
    // reports: every record gives one report, alternately to pedals and joystick.
    void holdThenBlank_data()
    {
        QTest::addColumn<bool>("pedals");
        QTest::addColumn<int>("heldReports");
        QTest::newRow("both controllers") << true << 50;
        QTest::newRow("joystick only") << false << 25;
    }

    void holdThenBlank()
    {
        QFETCH(bool, pedals);
        QFETCH(int, heldReports);
        WindowRig rig(true, pedals);
        rig.start();
        chooseSource(rig, 4);

        rig.control<QSlider>("telemetry_in_airspeed")->setValue(640);
        rig.control<QSlider>("telemetry_in_vertical_speed")->setValue(-37);
        rig.control<QSlider>("telemetry_in_g_force")->setValue(100);
        rig.control<QSlider>("telemetry_in_trim_yaw")->setValue(-100);
        rig.control<QSlider>("telemetry_in_flaps")->setValue(30);
        auto *valid = rig.control<QCheckBox>("telemetry_in_valid");

        for (int cycle = 0; cycle < 2; ++cycle) {
            valid->setChecked(true);
            QTRY_COMPARE(shown(rig, "telemetry_out_valid"), QStringLiteral("YES"));
            QCOMPARE(shown(rig, "telemetry_out_airspeed"), QStringLiteral("640"));
            QCOMPARE(shown(rig, "telemetry_out_vertical_speed"), QStringLiteral("-3.7"));
            QCOMPARE(shown(rig, "telemetry_out_g_force"), QStringLiteral("10"));
            QCOMPARE(shown(rig, "telemetry_out_trim_yaw"), QStringLiteral("-100"));
            QCOMPARE(shown(rig, "telemetry_out_flaps"), QStringLiteral("30"));
            // Under load the first report may not have arrived yet.
            QTRY_VERIFY([&] {
                const QList<Report> sent = reportsAfter(0, {rig.joystick, rig.pedals});
                return !sent.isEmpty() && (sent.last().packet[0] & 0x01);
            }());
            const QByteArray live = reportsAfter(0, {rig.joystick, rig.pedals}).last().packet;
            QCOMPARE(live.mid(16, 4), f32(float(-37 * 10.0 / 100.0)));

            const quint64 mark = lastSequence({rig.joystick, rig.pedals});
            valid->setChecked(false);
            QTRY_VERIFY_WITH_TIMEOUT(reportsAfter(mark, {rig.joystick, rig.pedals}).size()
                                         >= heldReports + 4, 5000);
            // The view keeps "YES" through the hold: checked on the first records.
            const QList<Report> after = reportsAfter(mark, {rig.joystick, rig.pedals});
            for (int i = 0; i < after.size(); ++i) {
                const QByteArray expected = i < heldReports ? live : QByteArray(28, '\0');
                QVERIFY2(after[i].packet == expected, qPrintable(QString::number(i)));
                QCOMPARE(after[i].tail, QByteArray(35, '\0'));
                if (pedals && i > 0)
                    QVERIFY(after[i].to != after[i - 1].to);
            }
            QTRY_COMPARE(shown(rig, "telemetry_out_valid"), QStringLiteral("NO"));
            QCOMPARE(shown(rig, "telemetry_out_airspeed"), QStringLiteral("0"));
            QCOMPARE(shown(rig, "telemetry_out_trim_yaw"), QStringLiteral("0"));
        }
    }

    // IL-2 paused: its datagrams keep coming but carry no indicators, so the
    // controllers hold the last flight packet for 50 reports, then get zeros;
    // the next flight datagram resumes from the kept indicators.
    void il2PauseHoldsThenBlanks()
    {
        WindowRig rig(true, true);
        rig.start();
        chooseSource(rig, 3);
        // 100 m/s and 9.80665 m/s² vertical: 360 km/h at 1 G.
        const QByteArray flight = kIl2Header + QByteArray::fromHex("02 06 00 01") + f32(100.0f)
            + QByteArray::fromHex("08 00 03") + f32(0.5f) + f32(9.80665f) + f32(0.0f);
        const auto flying = [&](quint64 since, float aoa) {
            for (const Report &report : reportsAfter(since, {rig.joystick, rig.pedals}))
                if ((report.packet[0] & 0x01) && report.packet.mid(12, 4) == f32(360.0f)
                    && report.packet.mid(20, 4) == f32(1.0f) && report.packet.mid(24, 4) == f32(aoa))
                    return report.packet;
            return QByteArray();
        };
        QByteArray live;
        QVERIFY(QTest::qWaitFor([&] { sendIl2(flight); return !(live = flying(0, 0.0f)).isEmpty(); }, 5000));

        // One last flight datagram that shows in the packet (AoA 1 rad), then the pause.
        const quint64 mark = lastSequence({rig.joystick, rig.pedals});
        sendIl2(kIl2Header + QByteArray::fromHex("01 07 00 01") + f32(1.0f));
        QByteArray last;
        QTRY_VERIFY(!(last = flying(mark, 57.2958f)).isEmpty());
        QTimer pauses;
        connect(&pauses, &QTimer::timeout, [] { sendIl2(kIl2Paused); });
        pauses.start(5);
        QTRY_VERIFY_WITH_TIMEOUT(reportsAfter(mark, {rig.joystick, rig.pedals}).size() >= 70, 5000);
        pauses.stop();
        QList<Report> paused = reportsAfter(mark, {rig.joystick, rig.pedals});
        while (!paused.isEmpty() && paused.first().packet != last)
            paused.removeFirst();  // flight datagrams sent before the last one
        for (int i = 1; i < paused.size(); ++i)
            QVERIFY2(paused[i].packet == (i <= 50 ? last : QByteArray(28, '\0')),
                     qPrintable(QString::number(i)));

        const quint64 resumed = lastSequence({rig.joystick, rig.pedals});
        const QByteArray aoaOnly = kIl2Header + QByteArray::fromHex("01 07 00 01") + f32(0.0f);
        QVERIFY(QTest::qWaitFor([&] { sendIl2(aoaOnly); return flying(resumed, 0.0f) == live; }, 5000));
    }

    // The status bar's indicator: the source and its valid records of the last
    // second, refreshed a few times a second, never per record.
    void sourceIndicator()
    {
        WindowRig rig(true, false);
        rig.start();
        const auto *indicator = rig.control<QLabel>("telemetry_status");
        QCOMPARE(indicator->text(), "DCS: no data");

        QTimer stream;  // faster than the window's ticks, so that every tick has a record
        connect(&stream, &QTimer::timeout, [] { sendDcs(kSample); });
        stream.start(10);
        QStringList shown{indicator->text()};
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1600) {  // the last count spans a whole second of the stream
            QTest::qWait(5);
            if (indicator->text() != shown.last())
                shown << indicator->text();
        }
        stream.stop();
        QVERIFY2(shown.size() <= 2 * 3 + 1, qPrintable(shown.join(u'|')));  // at most 3 a second
        const int perSecond = shown.last().section(u' ', 1).chopped(2).toInt();
        QVERIFY2(perSecond >= 40 && perSecond <= 55, qPrintable(shown.last()));
        QTRY_COMPARE_WITH_TIMEOUT(indicator->text(), QStringLiteral("DCS: no data"), 3000);

        chooseSource(rig, 2);
        QCOMPARE(indicator->text(), "MSFS: no data");
#ifdef _WIN32
        QTRY_COMPARE(rig.status(), "MSFS telemetry: SimConnect is not available; put SimConnect.dll "
                                   "beside the program and restart");
#else
        QTRY_COMPARE(rig.status(), "MSFS telemetry: SimConnect is not available on this system");
#endif
    }

    // Only the active source counts: the debug inputs do nothing under DCS.
    void debugInputsIgnoredUnderDcs()
    {
        WindowRig rig(true, true);
        rig.start();
        // No DCS datagrams: once blanked, the view and the reports stay zero.
        QTRY_COMPARE_WITH_TIMEOUT(shown(rig, "telemetry_out_valid"), QStringLiteral("NO"), 5000);
        const quint64 mark = lastSequence({rig.joystick, rig.pedals});
        rig.control<QCheckBox>("telemetry_in_valid")->setChecked(true);
        rig.control<QSlider>("telemetry_in_airspeed")->setValue(500);
        QTest::qWait(200);
        const QList<Report> after = reportsAfter(mark, {rig.joystick, rig.pedals});
        QVERIFY(after.size() >= 4);
        for (const Report &report : after)
            QCOMPARE(report.packet, QByteArray(28, '\0'));
        QCOMPARE(shown(rig, "telemetry_out_airspeed"), QStringLiteral("0"));
    }

    // A controller pulled out while telemetry runs: its turns fail at once,
    // and the other controller keeps getting every other record, fresh data included.
    void unpluggedControllerLeavesTheOther()
    {
        WindowRig rig(true, true);
        rig.start();
        rig.pedals->setUnplugged(true);
        const quint64 mark = lastSequence({rig.joystick, rig.pedals});
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                sendDcs(kSample);
                for (const Report &report : reportsAfter(mark, {rig.joystick}))
                    if (report.packet == kSamplePacket)
                        return true;
                return false;
            }(),
            5000);

        const quint64 later = lastSequence({rig.joystick});
        QTest::qWait(500);
        // One record in two, at 20 ms a record: about 12 in half a second.
        QVERIFY(reportsAfter(later, {rig.joystick}).size() >= 6);
        QVERIFY(reportsAfter(mark, {rig.pedals}).isEmpty());
    }

    // Another program holds both telemetry ports, bound without sharing: the
    // sources cannot bind (each says so once), their datagrams go to that
    // program, and the controllers get invalid records. Once the ports are
    // free, choosing a source again binds it and its data counts.
    void portsTakenByAnotherProgram()
    {
        auto dcsHolder = std::make_unique<QUdpSocket>();
        auto il2Holder = std::make_unique<QUdpSocket>();
        QVERIFY(dcsHolder->bind(QHostAddress::Any, testPorts().dcs, QAbstractSocket::DontShareAddress));
        QVERIFY(il2Holder->bind(QHostAddress::Any, testPorts().il2, QAbstractSocket::DontShareAddress));
        // Not a warning per tick: an unbound socket complains at every query.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Socket|Udp")));

        WindowRig rig(true, true);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^DCS telemetry: .*port %1").arg(testPorts().dcs)));
        rig.start();
        QCOMPARE(rig.status(), QStringLiteral("DCS telemetry cannot start: UDP port %1 is in use by "
                                              "another program").arg(testPorts().dcs));
        const quint64 mark = lastSequence({rig.joystick, rig.pedals});
        for (int i = 0; i < 10; ++i) {
            sendDcs(kSample);
            QTest::qWait(20);
        }
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^IL-2 telemetry: .*port %1").arg(testPorts().il2)));
        chooseSource(rig, 3);
        QCOMPARE(rig.status(), QStringLiteral("IL-2 telemetry cannot start: UDP port %1 is in use by "
                                              "another program").arg(testPorts().il2));
        for (int i = 0; i < 10; ++i) {
            sendIl2(kIl2Sample);
            QTest::qWait(20);
        }
        const QList<Report> silent = reportsAfter(mark, {rig.joystick, rig.pedals});
        QVERIFY(silent.size() >= 8);
        for (const Report &report : silent)
            QCOMPARE(report.packet, QByteArray(28, '\0'));
        QCOMPARE(dcsHolder->receiveDatagram().data(), kSample);
        QCOMPARE(il2Holder->receiveDatagram().data(), kIl2Sample);
        QCOMPARE(shown(rig, "telemetry_out_valid"), QStringLiteral("NO"));

        dcsHolder.reset();
        il2Holder.reset();
        // A valid record with the datagram's airspeed reaches a controller.
        const auto counts = [&](void (*send)(const QByteArray &), const QByteArray &datagram,
                                float airspeed) {
            const quint64 since = lastSequence({rig.joystick, rig.pedals});
            return QTest::qWaitFor([&] {
                send(datagram);
                for (const Report &report : reportsAfter(since, {rig.joystick, rig.pedals}))
                    if ((report.packet[0] & 0x01) && report.packet.mid(12, 4) == f32(airspeed))
                        return true;
                return false;
            }, 5000);
        };
        chooseSource(rig, 0);
        QVERIFY(counts(sendDcs, kSample, 350.5f));
        chooseSource(rig, 3);
        QVERIFY(counts(sendIl2, kIl2Sample, 360.0f));
    }

    // Choosing DCS again re-creates the reader on the same port.
    void reselectingDcsRebinds()
    {
        WindowRig rig(true, false);
        rig.start();
        chooseSource(rig, 0);
        chooseSource(rig, 0);
        const quint64 mark = lastSequence({rig.joystick});
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                sendDcs(kSample);
                for (const Report &report : reportsAfter(mark, {rig.joystick}))
                    if (report.packet == kSamplePacket)
                        return true;
                return false;
            }(),
            5000);
    }
};

VORKAST_USB_TEST_MAIN(TestTelemetryBridge)
#include "tst_telemetrybridge.moc"
