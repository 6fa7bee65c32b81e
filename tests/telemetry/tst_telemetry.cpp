#include "dcstelemetryreader.h"
#include "il2telemetryreader.h"
#include "loopback.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"
#include "testbytes.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <limits>

// The telemetry core without a window: the packet and its hold, the handler's
// sources, and the DCS datagram format, parsed and through a real UDP socket.

using namespace vorkast;

namespace {

const QByteArray kSample = "1;350.5;-2.5;1.2;4.5;1500;0.5;0;0.25;1;0;0;1";

// The packet's eight byte fields as hex, then its five floats.
QByteArray packet(const char *bytes, float thrust = 0, float airspeed = 0, float verticalSpeed = 0,
                  float g = 0, float aoa = 0)
{
    return QByteArray::fromHex(bytes) + f32(thrust) + f32(airspeed) + f32(verticalSpeed) + f32(g)
        + f32(aoa);
}

// IL-2: ten header bytes (the telemetry packet id first), then one block: id 6
// (airspeed, m/s), one value.
QByteArray il2Airspeed(float metresPerSecond)
{
    return le32(0x54000101) + QByteArray(6, '\0') + QByteArray::fromHex("01 06 00 01") + f32(metresPerSecond);
}

TelemetryData recordAt(const QSignalSpy &spy, int index)
{
    return spy.at(index).at(0).value<TelemetryData>();
}

} // namespace

class TestTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void packetLayout()
    {
        const TelemetryData data{.valid = true, .trim_override = true, .on_ground = true,
                                 .flaps = 50, .brake = 25, .gear = 100, .thrust = 1500.0f,
                                 .trim_roll = -1, .trim_yaw = -100,
                                 .airspeed = std::numeric_limits<float>::quiet_NaN(),
                                 .vertical_speed = -2.5f, .g_force = 1.2f, .aoa = 4.5f};
        // NaN airspeed travels as 0.0.
        const QByteArray expected = packet("07 32 00 19 64 ff 00 9c", 1500.0f, 0.0f, -2.5f, 1.2f, 4.5f);
        QCOMPARE(bytesOf(toPacket(data)).toHex(' '), expected.toHex(' '));
        QCOMPARE(bytesOf(packetBytes(toPacket(data))), expected);
    }

    // Fifty invalid records in a row keep the last valid packet, valid bit
    // included; the 51st blanks it; a valid record restores at once.
    void holdThenBlank()
    {
        const TelemetryData valid{.valid = true, .airspeed = 200.0f};
        const QByteArray blank(28, '\0');
        TelemetryPacket held{};
        std::uint16_t count = 7;
        updateHeldPacket(held, count, valid);
        QCOMPARE(count, std::uint16_t(0));
        const QByteArray validBytes = bytesOf(held);

        for (int i = 1; i <= 50; ++i) {
            updateHeldPacket(held, count, TelemetryData{});
            QCOMPARE(bytesOf(held), validBytes);
        }
        updateHeldPacket(held, count, TelemetryData{});
        QCOMPARE(bytesOf(held), blank);
        for (int i = 0; i < 1000; ++i)  // the count never wraps into holding again
            updateHeldPacket(held, count, TelemetryData{});
        QCOMPARE(count, std::uint16_t(50));
        QCOMPARE(bytesOf(held), blank);

        updateHeldPacket(held, count, valid);
        QCOMPARE(bytesOf(held), validBytes);
        QCOMPARE(count, std::uint16_t(0));
    }

    void truncatedLowByte_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("byte");
        QTest::newRow("150") << 150.0 << 150;
        QTest::newRow("toward zero") << 99.9 << 99;
        QTest::newRow("-10") << -10.0 << 246;
        QTest::newRow("-0.9") << -0.9 << 0;
        QTest::newRow("300") << 300.0 << 44;
        QTest::newRow("huge") << 1e20 << 0;  // 1e20 is a multiple of 256
        QTest::newRow("nan") << std::nan("") << 0;
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << 0;
    }

    void truncatedLowByte()
    {
        QFETCH(double, value);
        QFETCH(int, byte);
        QCOMPARE(int(vorkast::truncatedLowByte(value)), byte);
    }

    void dcsParse_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("packet");  // as toPacket gives it
        const QByteArray sample = packet("05 32 00 19 64 00 00 00", 1500, 350.5f, -2.5f, 1.2f, 4.5f);
        QTest::newRow("sample") << kSample << sample;
        QTest::newRow("not valid") << QByteArray("1;350.5;-2.5;1.2;4.5;1500;0.5;0;0.25;1;0;0;0")
                                   << packet("04 32 00 19 64 00 00 00", 1500, 350.5f, -2.5f, 1.2f, 4.5f);
        QTest::newRow("fractions") << QByteArray("0;0;0;0;0;0;1.5;-0.1;0.999;0.01;7;7;1")
                                   << packet("01 96 f6 63 01 00 00 00");
        QTest::newRow("malformed fields") << QByteArray("x;abc;1,5;;4.5;1e3;zz;0.5;;1;;;1")
                                          << packet("01 00 32 00 64 00 00 00", 1000, 0, 0, 0, 4.5f);
        QTest::newRow("short") << QByteArray("1;350.5;-2.5") << packet("04 00 00 00 00 00 00 00", 0, 350.5f, -2.5f);
        QTest::newRow("empty") << QByteArray() << QByteArray(28, '\0');
        QTest::newRow("extra fields ignored") << kSample + ";9;9;garbage" << sample;
        QTest::newRow("not utf-8") << QByteArray("\xff\xfe;\x80;;;;;;;;;;;1") << packet("01 00 00 00 00 00 00 00");
    }

    void dcsParse()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, packet);
        QCOMPARE(bytesOf(toPacket(DcsTelemetryReader::parse(datagram))).toHex(' '), packet.toHex(' '));
    }

    // Through the socket: the newest datagram of a tick counts, a tick without
    // one gives an invalid all-zero record. Choosing DCS again closes the old
    // socket before binding the new one, and leaving DCS frees the port.
    void dcsSocket()
    {
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(TelemetryHandler::Dcs);
        handler.setMode(TelemetryHandler::Dcs);
        const auto tick = [&](const QList<QByteArray> &datagrams) {
            spy.clear();
            if (sendOverLoopback(testPorts().dcs, datagrams))
                handler.pollReader();
            return spy.size();
        };

        QCOMPARE(tick({"0;1;0;0;0;0;0;0;0;0;0;0;1", "0;2;0;0;0;0;0;0;0;0;0;0;1", kSample}), 1);
        QVERIFY(recordAt(spy, 0).valid && recordAt(spy, 0).on_ground);
        QCOMPARE(recordAt(spy, 0).airspeed, 350.5f);
        QCOMPARE(tick({}), 1);
        QCOMPARE(bytesOf(toPacket(recordAt(spy, 0))), QByteArray(28, '\0'));
        // A datagram far larger than any sender would use is read whole.
        QCOMPARE(tick({kSample + ";" + QByteArray(60000, '9')}), 1);
        QCOMPARE(recordAt(spy, 0).airspeed, 350.5f);

        handler.setMode(TelemetryHandler::Debug);
        QUdpSocket probe;
        QVERIFY2(probe.bind(QHostAddress::Any, testPorts().dcs, QAbstractSocket::DontShareAddress),
                 qPrintable(probe.errorString()));
    }

    // The one case on the simulators' own ports: by default the sources
    // listen where the games send.
    void defaultPortsAreTheSimulators()
    {
        VORKAST_REQUIRE_FREE_UDP_PORT(DcsTelemetryReader::kPort);
        VORKAST_REQUIRE_FREE_UDP_PORT(Il2TelemetryReader::kPort);
        TelemetryHandler handler(nullptr);
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        const auto arrives = [&](quint16 port, const QByteArray &datagram) {
            return QTest::qWaitFor([&] {
                QUdpSocket().writeDatagram(datagram, QHostAddress::LocalHost, port);
                for (const QList<QVariant> &args : std::as_const(spy))
                    if (args.at(0).value<TelemetryData>().valid)
                        return true;
                return false;
            }, 5000);
        };
        handler.setMode(TelemetryHandler::Dcs);
        QVERIFY(arrives(DcsTelemetryReader::kPort, kSample));
        handler.setMode(TelemetryHandler::Il2);
        spy.clear();
        QVERIFY(arrives(Il2TelemetryReader::kPort, il2Airspeed(100.0f)));
    }

    void floodDrainedInOneTick_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("filler");
        QTest::addColumn<QByteArray>("last");
        QTest::addColumn<float>("airspeed");  // that the last one gives

        QTest::newRow("DCS") << int(TelemetryHandler::Dcs) << int(testPorts().dcs)
                             << QByteArray("0;100;0;0;0;0;0;0;0;0;0;0;1")
                             << QByteArray("0;200;0;0;0;0;0;0;0;0;0;0;1") << 200.0f;
        QTest::newRow("IL-2") << int(TelemetryHandler::Il2) << int(testPorts().il2)
                              << il2Airspeed(10.0f) << il2Airspeed(50.0f) << 180.0f;
    }

    // A flood in one tick: the tick reads every queued datagram and only the
    // newest counts. Its duration is reported, not bounded: under wine every
    // socket call is a round trip to the wine server, and a loaded machine
    // stretches a tick of a few milliseconds past 200. The kernel queues only as many as the
    // socket's receive buffer holds (a few hundred at Linux's default) and
    // drops the rest, so first a socket with the same default buffer tells how
    // many datagrams of this size fit.
    void floodDrainedInOneTick()
    {
        QFETCH(int, mode);
        QFETCH(int, port);
        QFETCH(QByteArray, filler);
        QFETCH(QByteArray, last);
        QFETCH(float, airspeed);
        constexpr int kFlood = 10000;

        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::Any, 0));
        QVERIFY(sendOverLoopback(probe.localPort(), QList<QByteArray>(kFlood, filler)));
        int fit = 0;
        for (; probe.hasPendingDatagrams(); ++fit)
            probe.receiveDatagram();
        QVERIFY(fit > 0);

        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(mode);
        struct Tick
        {
            qsizetype records;
            TelemetryData record;
            qint64 ms;
        };
        const auto tick = [&] {
            spy.clear();
            QElapsedTimer clock;
            clock.start();
            handler.pollReader();
            const qint64 ms = clock.elapsed();
            return Tick{spy.size(), spy.value(0).value(0).value<TelemetryData>(), ms};
        };

        // As many as fit, with a margin: the newest is the one that counts.
        const int queued = std::min(kFlood, fit * 9 / 10);
        QVERIFY(sendOverLoopback(quint16(port), QList<QByteArray>(queued - 1, filler) << last));
        Tick flooded = tick();
        qInfo("%d datagrams queued (%d fit), drained in %lld ms", queued, fit, flooded.ms);
        QCOMPARE(flooded.records, 1);
        QVERIFY(flooded.record.valid);
        QCOMPARE(flooded.record.airspeed, airspeed);
        const Tick next = tick();  // nothing left for the next tick
        QCOMPARE(next.records, 1);
        QVERIFY(!next.record.valid);

        // All 10,000: the kernel drops what does not fit; the tick is as short.
        QVERIFY(sendOverLoopback(quint16(port), QList<QByteArray>(kFlood - 1, filler) << last));
        flooded = tick();
        qInfo("%d datagrams sent, drained in %lld ms", kFlood, flooded.ms);
        QCOMPARE(flooded.records, 1);
        QVERIFY(flooded.record.valid);
        QVERIFY(!tick().record.valid);
    }

    void unknownModesGiveDebugSource_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("4") << 4;
        QTest::newRow("7") << 7;
        QTest::newRow("-1") << -1;
    }

    void unknownModesGiveDebugSource()
    {
        QFETCH(int, mode);
        QMainWindow window;
        Ui::MainWindow ui;
        ui.setupUi(&window);
        ui.telemetry_in_valid->setChecked(true);
        ui.telemetry_in_airspeed->setValue(123);
        ui.telemetry_in_vertical_speed->setValue(-37);
        ui.telemetry_in_g_force->setValue(100);
        ui.telemetry_in_trim_yaw->setValue(-100);
        ui.telemetry_in_gear->setValue(100);

        TelemetryHandler handler(&ui, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.pollReader();  // no source yet: nothing
        QCOMPARE(spy.size(), 0);
        handler.setMode(mode);
        handler.pollReader();
        QCOMPARE(spy.size(), 1);
        const TelemetryData data = recordAt(spy, 0);
        QVERIFY(data.valid);
        QCOMPARE(data.airspeed, 123.0f);
        QCOMPARE(data.vertical_speed, float(-37 * 10.0 / 100.0));
        QCOMPARE(data.g_force, 10.0f);
        QCOMPARE(data.trim_yaw, std::int8_t(-100));
        QCOMPARE(data.gear, std::uint8_t(100));
    }
};

QTEST_MAIN(TestTelemetry)
#include "tst_telemetry.moc"
