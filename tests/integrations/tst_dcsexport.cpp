#include "dcstelemetryreader.h"
#include "telemetrypacket.h"
#include "testbytes.h"

#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

// The DCS export script run by Lua 5.1 with LuaSocket, in a harness that plays
// DCS's export environment; what it sends goes through the DCS reader's parser.

using namespace vorkast;

namespace {

// An aircraft in flight; every row of the record test starts from it.
const QString kFlying = QStringLiteral(
    "function LoGetSelfData() return { Name = 'F-16C_50' } end "
    "function LoGetIndicatedAirSpeed() return 100 end "
    "function LoGetVerticalVelocity() return -2.5 end "
    "function LoGetAccelerationUnits() return { x = 0.1, y = 1.2, z = -0.3 } end "
    "function LoGetAngleOfAttack() return 4.5 end "
    "function LoGetAltitudeAboveGroundLevel() return 800 end "
    "function LoGetEngineInfo() return { RPM = { left = 87.5, right = 86 } } end "
    "function LoGetMechInfo() return { flaps = { status = 1, value = 0.5 }, "
    "  speedbrakes = { status = 1, value = 0.3 }, wheelbrakes = { status = 0, value = 0.25 }, "
    "  gear = { status = 1, value = 1 } } end");

QByteArray hexOf(const TelemetryData &data)
{
    return bytesOf(toPacket(data)).toHex(' ');
}

// A callback of the mission's own, defined before the script loads.
const QString kCountFrames =
    QStringLiteral("run frames = 0 function LuaExportAfterNextFrame() frames = frames + 1 end");

TelemetryData flyingRecord()
{
    TelemetryData data;
    data.valid = true;
    data.airspeed = 360.0f;  // 100 m/s
    data.vertical_speed = -2.5f;
    data.g_force = 1.2f;
    data.aoa = 4.5f;
    data.thrust = 87.5f;
    data.flaps = 50;
    data.airbrake = 30;
    data.brake = 25;
    data.gear = 100;
    return data;
}

// lua5.1 running the harness on the export script.
class Harness
{
public:
    struct Reply
    {
        bool ok = false;
        QStringList output;  // printed lines, then "ok" or "error ..." last
    };

    explicit Harness(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        lua.setProcessEnvironment(env);
        lua.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        lua.start(QStringLiteral(VORKAST_LUA), {QStringLiteral(VORKAST_DCS_HARNESS),
                                               QStringLiteral(VORKAST_DCS_EXPORT_SCRIPT)});
    }

    ~Harness()
    {
        lua.closeWriteChannel();
        if (!lua.waitForFinished(5000))
            lua.kill();
    }

    bool started() { return lua.waitForStarted(5000); }

    Reply operator()(const QString &command)
    {
        Reply reply;
        lua.write(command.toUtf8() + '\n');
        while (true) {
            while (!lua.canReadLine()) {
                if (!lua.waitForReadyRead(5000)) {
                    reply.output << QStringLiteral("error no answer to: ") + command;
                    return reply;
                }
            }
            const QString line = QString::fromUtf8(lua.readLine()).chopped(1);
            reply.output << line;
            if (line == u"ok") {
                reply.ok = true;
                return reply;
            }
            if (line.startsWith(u"error "))
                return reply;
        }
    }

    // Runs `commands` in turn: empty, or the first that failed and its output.
    QString script(const QStringList &commands)
    {
        for (const QString &command : commands) {
            const Reply reply = (*this)(command);
            if (!reply.ok)
                return command + QStringLiteral(" -> ") + reply.output.join(u'\n');
        }
        return {};
    }

    // What a `run print(...)` printed.
    QString print(const QString &expression)
    {
        const Reply reply = (*this)(QStringLiteral("run print(%1)").arg(expression));
        return reply.ok ? reply.output.first() : reply.output.join(u'\n');
    }

private:
    QProcess lua;
};

// Datagrams the script sent to the test's own port.
class Receiver
{
public:
    Receiver() { bound = socket.bind(QHostAddress::LocalHost, 0); }

    bool bound = false;
    quint16 port() const { return socket.localPort(); }
    QString options() const
    {
        return QStringLiteral("run VorkastExportOptions = { port = %1 }").arg(port());
    }

    // Loopback delivery is complete when the sender's send returns, and the
    // harness answers only after that, so whatever was sent is waiting here.
    QList<QByteArray> take()
    {
        QList<QByteArray> datagrams;
        while (socket.hasPendingDatagrams()) {
            QByteArray datagram(qMax<qint64>(socket.pendingDatagramSize(), 0), '\0');
            socket.readDatagram(datagram.data(), datagram.size());
            datagrams << datagram;
        }
        return datagrams;
    }

private:
    QUdpSocket socket;
};

} // namespace

class TestDcsExport : public QObject
{
    Q_OBJECT

private slots:
    void recordAsTheReaderParsesIt_data()
    {
        QTest::addColumn<QString>("options");  // VorkastExportOptions fields
        QTest::addColumn<QString>("stubs");    // Lua run after the flying aircraft
        QTest::addColumn<TelemetryData>("expected");

        QTest::newRow("in flight") << QString() << QString() << flyingRecord();

        TelemetryData parked = flyingRecord();
        parked.on_ground = true;
        parked.airspeed = 0.0f;
        QTest::newRow("parked, gear down")
            << QString()
            << "function LoGetAltitudeAboveGroundLevel() return 1.8 end "
               "function LoGetIndicatedAirSpeed() return 0 end"
            << parked;

        TelemetryData gearUp = flyingRecord();
        gearUp.gear = 0;
        QTest::newRow("low pass, gear up")
            << QString()
            << "function LoGetAltitudeAboveGroundLevel() return 1.8 end "
               "local m = LoGetMechInfo() function LoGetMechInfo() m.gear.value = 0 return m end"
            << gearUp;

        TelemetryData singleEngine = flyingRecord();
        singleEngine.thrust = 95.25f;
        QTest::newRow("single engine, right RPM 0")
            << QString()
            << "function LoGetEngineInfo() return { RPM = { left = 95.25, right = 0 } } end"
            << singleEngine;

        TelemetryData radians = flyingRecord();
        radians.aoa = 5.73f;  // 0.1 rad, three decimals
        QTest::newRow("AoA taken as radians")
            << "aoaInRadians = true" << "function LoGetAngleOfAttack() return 0.1 end" << radians;

        QTest::newRow("no aircraft") << QString()
                                     << "function LoGetSelfData() return nil end" << TelemetryData{};

        TelemetryData noMech = flyingRecord();
        noMech.flaps = noMech.airbrake = noMech.brake = noMech.gear = 0;
        QTest::newRow("LoGetMechInfo raises")
            << QString() << "function LoGetMechInfo() error('not for this aircraft') end" << noMech;

        TelemetryData noAoa = flyingRecord();
        noAoa.aoa = 0.0f;
        noAoa.g_force = 0.0f;
        QTest::newRow("functions missing or returning nil")
            << QString() << "LoGetAngleOfAttack = nil function LoGetAccelerationUnits() end" << noAoa;
    }

    void recordAsTheReaderParsesIt()
    {
        QFETCH(QString, options);
        QFETCH(QString, stubs);
        QFETCH(TelemetryData, expected);

        Receiver receiver;
        QVERIFY(receiver.bound);
        Harness dcs;
        QVERIFY(dcs.started());
        const QString setOptions = QStringLiteral("run VorkastExportOptions = { port = %1, %2 }")
                                       .arg(receiver.port())
                                       .arg(options);
        QCOMPARE(dcs.script({setOptions, "run " + kFlying, "run " + stubs, "load", "start", "frame 0"}),
                 QString());

        const QList<QByteArray> datagrams = receiver.take();
        QCOMPARE(datagrams.size(), 1);
        QCOMPARE(datagrams.first().count(';'), 12);
        QCOMPARE(hexOf(DcsTelemetryReader::parse(datagrams.first())), hexOf(expected));
    }

    void decimalPointWhateverTheLocale()
    {
        // A comma locale built for this test alone: LOCPATH points glibc at it.
        QTemporaryDir locales;
        QVERIFY(locales.isValid());
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty()
            || QProcess::execute(localedef, {"-i", "de_DE", "-f", "UTF-8",
                                             locales.filePath("de_DE.UTF-8")}) != 0)
            QSKIP("cannot build the de_DE locale (Debian package locales)");

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LOCPATH"), locales.path());
        Receiver receiver;
        QVERIFY(receiver.bound);
        Harness dcs(env);
        QVERIFY(dcs.started());
        QCOMPARE(dcs.script({"run assert(os.setlocale('de_DE.UTF-8', 'numeric'))"}), QString());
        QCOMPARE(dcs.print("string.format('%.1f', 2.5)"), QStringLiteral("2,5"));
        QCOMPARE(dcs.script({receiver.options(), "run " + kFlying, "load", "start", "frame 0"}), QString());

        const QList<QByteArray> datagrams = receiver.take();
        QCOMPARE(datagrams.size(), 1);
        QCOMPARE(datagrams.first(),
                 QByteArray("0;360.000;-2.500;1.200;4.500;87.500;0.500;0.300;0.250;1.000;0;0;1"));
    }

    void fiftyDatagramsPerSecondOfModelTime_data()
    {
        QTest::addColumn<QList<int>>("frames");  // model time of each frame, ms
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");

        const auto rate = [](int fps) {
            QList<int> frames;
            for (int i = 0; i <= fps; ++i)
                frames << qRound(i * 1000.0 / fps);
            return frames;
        };
        QTest::newRow("30 fps: every frame") << rate(30) << 31 << 31;
        QTest::newRow("60 fps") << rate(60) << 50 << 51;
        QTest::newRow("144 fps") << rate(144) << 50 << 51;
        QTest::newRow("400 fps") << rate(400) << 50 << 51;
        QTest::newRow("paused") << QList<int>(100, 5000) << 1 << 1;
        // A long frame is not made up for by a burst.
        QTest::newRow("stall") << QList<int>{0, 1000, 1010, 1025, 1030} << 3 << 3;
        QTest::newRow("model time starting over")
            << QList<int>{60000, 60025, 0, 25, 45} << 5 << 5;
    }

    void fiftyDatagramsPerSecondOfModelTime()
    {
        QFETCH(QList<int>, frames);
        QFETCH(int, least);
        QFETCH(int, most);

        Receiver receiver;
        QVERIFY(receiver.bound);
        Harness dcs;
        QVERIFY(dcs.started());
        QCOMPARE(dcs.script({receiver.options(), "run " + kFlying, "load", "start"}), QString());
        int sent = 0;
        for (int ms : frames) {
            QCOMPARE(dcs.script({QStringLiteral("frame %1").arg(ms)}), QString());
            sent += int(receiver.take().size());
        }
        QVERIFY2(sent >= least && sent <= most, qPrintable(QString::number(sent)));
    }

    void chainsTheCallbacksDefinedBefore()
    {
        Receiver receiver;
        QVERIFY(receiver.bound);
        Harness dcs;
        QVERIFY(dcs.started());
        QCOMPARE(dcs.script({receiver.options(), "run " + kFlying,
                             "run calls = {} "
                             "function LuaExportStart() calls[#calls + 1] = 'start' end "
                             "function LuaExportAfterNextFrame() calls[#calls + 1] = 'frame' end "
                             "function LuaExportStop() calls[#calls + 1] = 'stop' end",
                             "load", "start", "frame 0", "frame 10", "frame 25"}),
                 QString());
        QCOMPARE(receiver.take().size(), 2);
        QCOMPARE(dcs.script({"stop", "frame 50"}), QString());
        QCOMPARE(receiver.take().size(), 0);  // closed with the mission
        QCOMPARE(dcs.print("table.concat(calls, ' ')"),
                 QStringLiteral("start frame frame frame stop frame"));
        QCOMPARE(dcs.print("table.concat(socketLog, ', ')"),
                 QStringLiteral("settimeout 0, setpeername 127.0.0.1 %1, close").arg(receiver.port()));
    }

    void ownErrorsStayInside()
    {
        Receiver receiver;
        QVERIFY(receiver.bound);
        Harness dcs;
        QVERIFY(dcs.started());
        // A failing socket: no datagram, no error for DCS, the previous exporter still runs.
        QCOMPARE(dcs.script({receiver.options(), "run " + kFlying, kCountFrames, "load", "start",
                             "run failSend = true", "frame 0"}),
                 QString());
        const Harness::Reply again = dcs("frame 25");
        QVERIFY(again.ok);
        QCOMPARE(again.output.size(), 1);  // reported once, on the first failure only
        QCOMPARE(receiver.take().size(), 0);
        QCOMPARE(dcs.script({"run failSend = false", "frame 50"}), QString());
        QCOMPARE(receiver.take().size(), 1);
        QCOMPARE(dcs.print("frames"), QStringLiteral("3"));
    }

    void withoutLuaSocketOthersKeepRunning()
    {
        Harness dcs;
        QVERIFY(dcs.started());
        QCOMPARE(dcs.script({"run package.loaded.socket = nil "
                             "package.preload.socket = function() error('no LuaSocket here') end",
                             "run " + kFlying, kCountFrames, "load"}),
                 QString());
        const Harness::Reply start = dcs("start");
        QVERIFY(start.ok);
        QVERIFY2(start.output.first().contains(u"no LuaSocket here"),
                 qPrintable(start.output.join(u'\n')));
        QCOMPARE(dcs.script({"frame 0", "frame 25", "stop"}), QString());
        QCOMPARE(dcs.print("frames"), QStringLiteral("2"));
    }

    void sendsToTheReadersPortByDefault()
    {
        Harness dcs;
        QVERIFY(dcs.started());
        QCOMPARE(dcs.script({"run " + kFlying, "load", "start", "stop"}), QString());
        QCOMPARE(dcs.print("socketLog[2]"),
                 QStringLiteral("setpeername 127.0.0.1 %1").arg(DcsTelemetryReader::kPort));
    }
};

QTEST_GUILESS_MAIN(TestDcsExport)
#include "tst_dcsexport.moc"
