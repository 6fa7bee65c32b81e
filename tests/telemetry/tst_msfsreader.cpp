#include "scriptedsimconnect.h"
#include "stdoutcapture.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"
#include "testbytes.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>
#include <source_location>
#include <utility>

// The MSFS reader through the handler, against the scripted SimConnect: what it
// asks SimConnect for, the records it makes of the answers, and what it prints.

namespace SC = ScriptedSimConnect;

namespace {

// Data definition 0 as the reader must register it.
const std::pair<const char *, const char *> kDefinition[] = {
    {"SIM ON GROUND", "Bool"},
    {"TRAILING EDGE FLAPS LEFT PERCENT", "percent over 100"},
    {"TRAILING EDGE FLAPS RIGHT PERCENT", "percent over 100"},
    {"AILERON TRIM PCT", "percent over 100"},
    {"ELEVATOR TRIM PCT", "percent over 100"},
    {"RUDDER TRIM PCT", "percent over 100"},
    {"G FORCE", "GForce"},
    {"INCIDENCE ALPHA", "degree"},
    {"AIRSPEED INDICATED", "kilometer per hour"},
    {"GEAR CENTER POSITION", "percent over 100"},
    {"GEAR LEFT POSITION", "percent over 100"},
    {"GEAR RIGHT POSITION", "percent over 100"},
    {"PROP THRUST:1", "kg"},
    {"PROP THRUST:2", "kg"},
    {"PROP THRUST:3", "kg"},
    {"PROP THRUST:4", "kg"},
    {"VERTICAL SPEED", "m/s"},
};

// Positions in the data block (byte offset / 8).
enum Slot {
    OnGround, FlapsLeft, FlapsRight, AileronTrim, ElevatorTrim, RudderTrim, GForce, Alpha,
    Airspeed, GearCenter, GearLeft, GearRight, Thrust1, Thrust2, Thrust3, Thrust4, VerticalSpeed
};

QList<double> block(std::initializer_list<std::pair<Slot, double>> values = {})
{
    QList<double> doubles(17, 0.0);
    for (const auto &[slot, value] : values)
        doubles[slot] = value;
    return doubles;
}

// A record as a data answer gives it: valid, with trim positions.
TelemetryData answered(TelemetryData data)
{
    data.valid = true;
    data.trim_override = true;
    return data;
}

QByteArray packetHex(const TelemetryData &data)
{
    return bytesOf(vorkast::toPacket(data)).toHex(' ');
}

const QString kOpen = QStringLiteral("Open(\"Vorkast\", null, 0, null, 0)");

QString dispatch(int connection = 1)
{
    return QStringLiteral("GetNextDispatch(#%1)").arg(connection);
}

QString request(int connection = 1)
{
    return QStringLiteral("RequestDataOnSimObjectType(#%1, 0, 0, 0, 0)").arg(connection);
}

// A handler with the MSFS source selected, its records and its standard output.
struct Rig
{
    std::unique_ptr<TelemetryHandler> handler = std::make_unique<TelemetryHandler>(nullptr);
    QSignalSpy spy{handler.get(), &TelemetryHandler::telemetryUpdate};
    QByteArray out;

    ~Rig() { destroy(); }

    void select()
    {
        out += stdoutOf([&] { handler->setMode(TelemetryHandler::Msfs); });
    }

    // One tick and the one record it must emit.
    TelemetryData tick(std::source_location caller = std::source_location::current())
    {
        spy.clear();
        out += stdoutOf([&] { handler->pollReader(); });
        if (spy.size() != 1) {
            QTest::qFail(qPrintable(QStringLiteral("the tick emitted %1 records").arg(spy.size())),
                         caller.file_name(), int(caller.line()));
            return {};
        }
        return spy.takeFirst().at(0).value<TelemetryData>();
    }

    void destroy()
    {
        if (handler)
            out += stdoutOf([&] { handler.reset(); });
    }

    QByteArray takeOut() { return std::exchange(out, {}); }
};

// Selects MSFS and lets the first tick connect, with nothing waiting.
void connectRig(Rig &rig)
{
    SC::setOpenSucceeds(true);
    rig.select();
    rig.tick();
    SC::takeCalls();
    rig.takeOut();
}

} // namespace

class TestMsfsReader : public QObject
{
    Q_OBJECT

private slots:
    void init() { SC::reset(); }

    // The tick that connects registers, requests, subscribes, and then takes
    // and handles one message like any other tick.
    void connectingTick()
    {
        SC::setOpenSucceeds(true);
        SC::queue(SC::dataMessage(0, block({{FlapsLeft, 0.5}, {FlapsRight, 0.3}})));
        Rig rig;
        rig.select();
        QCOMPARE(rig.takeOut(), QByteArray("Start MSFS 2020 telemetry \n"));
        QCOMPARE(SC::takeCalls(), QStringList());  // construction does not connect

        QCOMPARE(packetHex(rig.tick()), packetHex(answered({.flaps = 40})));
        QStringList expected{kOpen};
        for (const auto &[name, unit] : kDefinition)
            expected << QStringLiteral("AddToDataDefinition(#1, 0, \"%1\", \"%2\", 4, 0, 4294967295)")
                            .arg(name, unit);
        expected << request() << QStringLiteral("SubscribeToSystemEvent(#1, 0, \"SimStart\")")
                 << QStringLiteral("SubscribeToSystemEvent(#1, 1, \"SimStop\")") << dispatch()
                 << request();
        QCOMPARE(SC::takeCalls(), expected);
        QCOMPARE(rig.takeOut(), QByteArray("Connected to MSFS 2020 \n"));

        rig.tick();
        QCOMPARE(SC::takeCalls(), QStringList{dispatch()});
    }

    void dataRecord_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<TelemetryData>("expected");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();

        QTest::newRow("flaps 0.5/0.3") << block({{FlapsLeft, 0.5}, {FlapsRight, 0.3}})
                                       << answered({.flaps = 40});
        QTest::newRow("gear 1/1/1") << block({{GearCenter, 1}, {GearLeft, 1}, {GearRight, 1}})
                                    << answered({.gear = 100});
        QTest::newRow("gear 1/1/0") << block({{GearCenter, 0}, {GearLeft, 1}, {GearRight, 1}})
                                    << answered({.gear = 66});
        QTest::newRow("aileron trim -0.25") << block({{AileronTrim, -0.25}})
                                            << answered({.trim_roll = -25});
        QTest::newRow("elevator and rudder trim")
            << block({{ElevatorTrim, 1.0}, {RudderTrim, -0.999}})
            << answered({.trim_pitch = 100, .trim_yaw = -99});
        QTest::newRow("prop thrust 1200/1200/0/0") << block({{Thrust1, 1200}, {Thrust2, 1200}})
                                                   << answered({.thrust = 2400});
        QTest::newRow("prop thrust of four")
            << block({{Thrust1, 0.5}, {Thrust2, 1000.25}, {Thrust3, -0.25}, {Thrust4, 3}})
            << answered({.thrust = 1003.5f});
        QTest::newRow("on ground 0.0") << block({{OnGround, 0.0}}) << answered({.on_ground = false});
        QTest::newRow("on ground 1.0") << block({{OnGround, 1.0}}) << answered({.on_ground = true});
        QTest::newRow("flight values")
            << block({{GForce, 1.5}, {Alpha, -4.25}, {Airspeed, 250.5}, {VerticalSpeed, -3.125}})
            << answered({.airspeed = 250.5f, .vertical_speed = -3.125f, .g_force = 1.5f,
                         .aoa = -4.25f});
        // Out-of-range fractions keep the low 8 bits of the truncated percentage.
        QTest::newRow("beyond range")
            << block({{FlapsLeft, 3.0}, {FlapsRight, 3.0}, {AileronTrim, 1.5}, {ElevatorTrim, -1.5}})
            << answered({.flaps = 44, .trim_roll = -106, .trim_pitch = 106});
        // Values no percentage can hold give defined bytes, never undefined conversions.
        QTest::newRow("not finite or huge")
            << block({{FlapsLeft, nan}, {AileronTrim, inf}, {ElevatorTrim, -1e300},
                      {GearLeft, 1e300}, {Airspeed, nan}})
            << answered({});
        // Beyond the float range: infinities, as IEEE rounding gives them.
        QTest::newRow("beyond float range") << block({{GForce, 1e300}, {Thrust1, -1e39}})
                                            << answered({.thrust = -float(inf), .g_force = float(inf)});
    }

    // Every answer to request 0 becomes a record and is followed by a new request.
    void dataRecord()
    {
        QFETCH(QList<double>, values);
        QFETCH(TelemetryData, expected);
        Rig rig;
        connectRig(rig);
        SC::queue(SC::dataMessage(0, values));
        QCOMPARE(packetHex(rig.tick()), packetHex(expected));
        QCOMPARE(SC::takeCalls(), (QStringList{dispatch(), request()}));
        QCOMPARE(rig.takeOut(), QByteArray());
    }

    void otherMessages_data()
    {
        QTest::addColumn<QByteArrayList>("queued");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QStringList>("calls");

        QTest::newRow("SimStart") << QByteArrayList{SC::eventMessage(0)} << QByteArray("Start \n")
                                  << QStringList{dispatch(), request()};
        QTest::newRow("SimStop") << QByteArrayList{SC::eventMessage(1)} << QByteArray("Stop \n")
                                 << QStringList{dispatch()};
        QTest::newRow("other event") << QByteArrayList{SC::eventMessage(2)} << QByteArray()
                                     << QStringList{dispatch()};
        QTest::newRow("quit") << QByteArrayList{SC::quitMessage()} << QByteArray()
                              << QStringList{dispatch()};
        QTest::newRow("data for request 1") << QByteArrayList{SC::dataMessage(1, block())}
                                            << QByteArray() << QStringList{dispatch()};
        QTest::newRow("nothing waiting") << QByteArrayList{} << QByteArray()
                                         << QStringList{dispatch()};
        QTest::newRow("exception (1)") << QByteArrayList{SC::message(1, QByteArray(12, '\0'))}
                                       << QByteArray("Received 1\n") << QStringList{dispatch()};
        QTest::newRow("data on object (8)") << QByteArrayList{SC::message(8, QByteArray(32, '\0'))}
                                            << QByteArray("Received 8\n") << QStringList{dispatch()};
        QTest::newRow("large id") << QByteArrayList{SC::message(4000000000u)}
                                  << QByteArray("Received 4000000000\n") << QStringList{dispatch()};
        // Messages shorter than their kind are not read past their end.
        QTest::newRow("event cut short") << QByteArrayList{SC::message(4, QByteArray(4, '\0'))}
                                         << QByteArray() << QStringList{dispatch()};
        QTest::newRow("data header cut short")
            << QByteArrayList{SC::message(9, QByteArray(8, '\0'))} << QByteArray()
            << QStringList{dispatch()};
        // Still the answer to request 0, so the next request follows.
        QTest::newRow("data block cut short")
            << QByteArrayList{SC::dataMessage(0, block().mid(0, 16))} << QByteArray()
            << QStringList{dispatch(), request()};
        QTest::newRow("shorter than a header") << QByteArrayList{QByteArray(8, '\0')}
                                               << QByteArray() << QStringList{dispatch()};
    }

    // Anything but a complete data answer emits an invalid all-zero record, and
    // the connection stays usable afterwards, quit included.
    void otherMessages()
    {
        QFETCH(QByteArrayList, queued);
        QFETCH(QByteArray, out);
        QFETCH(QStringList, calls);
        Rig rig;
        connectRig(rig);
        for (const QByteArray &message : queued)
            SC::queue(message);
        QCOMPARE(packetHex(rig.tick()), packetHex({}));
        QCOMPARE(SC::takeCalls(), calls);
        QCOMPARE(rig.takeOut(), out);

        SC::queue(SC::dataMessage(0, block({{OnGround, 1}})));
        const TelemetryData next = rig.tick();
        QVERIFY(next.valid && next.on_ground);
        QCOMPARE(SC::takeCalls(), (QStringList{dispatch(), request()}));
    }

    // One message per tick however many wait; "SimStart" adds a request while
    // one is outstanding, and every answer still brings exactly one more.
    void onePerTickAndRequests()
    {
        Rig rig;
        connectRig(rig);
        SC::queue(SC::eventMessage(0));
        SC::queue(SC::dataMessage(0, block({{GearCenter, 1}, {GearLeft, 1}, {GearRight, 1}})));
        SC::queue(SC::dataMessage(0, block()));

        QVERIFY(!rig.tick().valid);
        QCOMPARE(SC::queuedMessages(), qsizetype(2));
        QCOMPARE(SC::takeCalls(), (QStringList{dispatch(), request()}));
        QCOMPARE(rig.tick().gear, std::uint8_t(100));
        QCOMPARE(SC::queuedMessages(), qsizetype(1));
        QCOMPARE(SC::takeCalls(), (QStringList{dispatch(), request()}));
        QVERIFY(rig.tick().valid);
        QCOMPARE(SC::takeCalls(), (QStringList{dispatch(), request()}));
        QVERIFY(!rig.tick().valid);
        QCOMPARE(SC::takeCalls(), QStringList{dispatch()});
    }

    // Simulator not running: each tick tries to open once more and emits an
    // all-zero record; nothing else is called and nothing printed, and a reader
    // that never connected has nothing to close.
    void openFailing_data()
    {
        QTest::addColumn<bool>("opensLater");
        QTest::newRow("never opens") << false;
        QTest::newRow("opens on the fourth tick") << true;
    }

    void openFailing()
    {
        QFETCH(bool, opensLater);
        Rig rig;
        QSignalSpy problems(rig.handler.get(), &TelemetryHandler::sourceProblem);
        rig.select();
        rig.takeOut();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(packetHex(rig.tick()), packetHex({}));
            QCOMPARE(SC::takeCalls(), QStringList{kOpen});
        }
        QCOMPARE(rig.takeOut(), QByteArray());
        // Said once, not per tick.
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems.at(0).at(0).toString(),
                 "MSFS is not running: MSFS telemetry starts when it does");

        if (!opensLater) {
            rig.destroy();
            QCOMPARE(rig.takeOut(), QByteArray("Stop MSFS 2020 telemetry \n"));
            QCOMPARE(SC::takeCalls(), QStringList());
            return;
        }
        SC::setOpenSucceeds(true);
        rig.tick();
        const QStringList calls = SC::takeCalls();
        QVERIFY(calls.size() > 1);
        QCOMPARE(calls.first(), kOpen);
        QCOMPARE(calls.last(), dispatch());
        QCOMPARE(rig.takeOut(), QByteArray("Connected to MSFS 2020 \n"));
    }

    // The whole of standard output over a reader's life, and its connection closed
    // when it goes: on re-selection (a fresh reader connects anew) and with the handler.
    void lifecycle()
    {
        SC::setOpenSucceeds(true);
        Rig rig;
        rig.select();
        SC::queue(SC::eventMessage(0));
        rig.tick();
        SC::queue(SC::eventMessage(1));
        rig.tick();
        SC::queue(SC::message(7, QByteArray(4, '\0')));
        rig.tick();
        rig.tick();
        QCOMPARE(rig.takeOut(), QByteArray("Start MSFS 2020 telemetry \n"
                                           "Connected to MSFS 2020 \n"
                                           "Start \n"
                                           "Stop \n"
                                           "Received 7\n"));
        SC::takeCalls();

        rig.select();
        QCOMPARE(rig.takeOut(),
                 QByteArray("Stop MSFS 2020 telemetry \nStart MSFS 2020 telemetry \n"));
        QCOMPARE(SC::takeCalls(), QStringList{QStringLiteral("Close(#1)")});
        rig.tick();
        const QStringList calls = SC::takeCalls();
        QVERIFY(calls.size() > 1);
        QCOMPARE(calls.first(), kOpen);
        QCOMPARE(calls.last(), dispatch(2));
        rig.takeOut();

        rig.destroy();
        QCOMPARE(rig.takeOut(), QByteArray("Stop MSFS 2020 telemetry \n"));
        QCOMPARE(SC::takeCalls(), QStringList{QStringLiteral("Close(#2)")});
    }
};

QTEST_GUILESS_MAIN(TestMsfsReader)
#include "tst_msfsreader.moc"
