#include "loopback.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"
#include "testbytes.h"
#include "warthundertelemetryreader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <limits>
#include <thread>
#include <utility>

// The War Thunder source: state pages parsed directly, and the reader against
// real HTTP servers on a port standing in for the game's.

using namespace vorkast;

namespace {

QByteArray hexOf(const TelemetryData &data)
{
    return bytesOf(toPacket(data)).toHex(' ');
}

QByteArray httpResponse(const QByteArray &body, const QByteArray &status = "200 OK")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray kSample = R"({"valid": true, "IAS, km/h": 420, "AoA, deg": 5.5, "Ny": 2.1,
    "throttle 1, %": 87, "flaps, %": 20, "gear, %": 100})";
const TelemetryData kSampleRecord{.valid = true, .flaps = 20, .gear = 100, .thrust = 87.0f,
                                  .airspeed = 420.0f, .g_force = 2.1f, .aoa = 5.5f};

// A state page as the game serves it in flight, cut after engine 1.
const QByteArray kGameState = R"({"valid": true,
"aileron, %": -2, "elevator, %": 0, "rudder, %": 0, "flaps, %": 0, "gear, %": 100,
"H, m": 1025, "TAS, km/h": 306, "IAS, km/h": 292, "M": 0.25, "AoA, deg": 2.6, "AoS, deg": -0.2,
"Ny": 1.03, "Vy, m/s": -3.5, "Wx, deg/s": 0, "Mfuel, kg": 412, "Mfuel0, kg": 412,
"throttle 1, %": 100, "RPM throttle 1, %": 100, "mixture 1, %": 100, "radiator 1, %": 0,
"magneto 1": 3, "power 1, hp": 1101.5, "RPM 1": 2700, "manifold pressure 1, atm": 1.42,
"oil temp 1, C": 68, "pitch 1, deg": 37.4, "thrust 1, kgs": 747, "efficiency 1, %": 81})";

// The game's state page on 127.0.0.1 (a free port standing in for 8111). It
// counts the requests it gets and answers each with `head`; then it closes the
// connection (`close`), or `drip` follows every `dripMs` (0: as fast as the
// socket takes it) for as long as the client stays. Held answers wait for release().
class StatePageServer : public QObject
{
public:
    explicit StatePageServer(const QByteArray &head = httpResponse(kSample),
                             const QByteArray &drip = {}, int dripMs = 0, bool close = false)
        : head(head), drip(drip), dripMs(dripMs), close(close)
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, pending = QByteArray()]() mutable { read(socket, pending); });
            }
        });
    }

    bool listen() { return server.listen(QHostAddress::LocalHost, testPorts().warthunder); }
    void hold() { holding = true; }
    int requests() const { return received; }

    void release()
    {
        holding = false;
        for (const QPointer<QTcpSocket> &socket : std::exchange(waiting, {}))
            if (socket)
                answer(socket);
    }

private:
    void read(QTcpSocket *socket, QByteArray &pending)
    {
        pending += socket->readAll();
        // A GET has no body: each blank line ends one request.
        for (qsizetype end; (end = pending.indexOf("\r\n\r\n")) >= 0;) {
            pending.remove(0, end + 4);
            ++received;
            if (holding)
                waiting << socket;
            else
                answer(socket);
        }
    }

    void answer(QTcpSocket *socket)
    {
        socket->write(head);
        if (close) {
            socket->disconnectFromHost();
        } else if (!drip.isEmpty()) {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [this, socket] {
                if (socket->isOpen() && socket->bytesToWrite() < 1024 * 1024)
                    socket->write(drip);
            });
            timer->start(dripMs);
        }
    }

    QTcpServer server;
    QByteArray head;
    QByteArray drip;
    int dripMs;
    bool close;
    bool holding = false;
    int received = 0;
    QList<QPointer<QTcpSocket>> waiting;
};

// A state page that floods from a thread of its own, as another process
// would: each request gets an endless body, written as fast as the client
// takes it until the client goes. One connection at a time, so a client that
// never lets go of a flood never gets its next request answered.
class FloodingServer
{
public:
    FloodingServer() : thread([this] { run(); }) {}
    ~FloodingServer()
    {
        stop = true;
        thread.join();
    }

    bool waitListening()
    {
        QDeadlineTimer deadline(5000);
        while (state == Starting && !deadline.hasExpired())
            QThread::msleep(5);
        return state == Listening;
    }
    int requests() const { return received; }

private:
    enum State { Starting, Listening, Failed };

    void run()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, testPorts().warthunder)) {
            state = Failed;
            return;
        }
        state = Listening;
        const QByteArray chunk(64 * 1024, 'x');
        while (!stop) {
            if (!server.waitForNewConnection(20))
                continue;
            QTcpSocket *socket = server.nextPendingConnection();
            QByteArray request;
            while (!stop && !request.contains("\r\n\r\n")
                   && socket->state() == QAbstractSocket::ConnectedState) {
                socket->waitForReadyRead(20);
                request += socket->readAll();
            }
            ++received;
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n{\"pad\": \"");
            while (!stop && socket->state() == QAbstractSocket::ConnectedState) {
                if (socket->bytesToWrite() < 1024 * 1024)
                    socket->write(chunk);
                socket->waitForBytesWritten(20);
            }
            delete socket;
        }
    }

    std::atomic<State> state{Starting};
    std::atomic<bool> stop{false};
    std::atomic<int> received{0};
    std::thread thread;
};

TelemetryData recordAt(const QSignalSpy &spy, int index)
{
    return spy.at(index).at(0).value<TelemetryData>();
}

} // namespace

class TestWarthunderReader : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<TelemetryData>("expected");

        QTest::newRow("sample") << kSample << kSampleRecord;
        QTest::newRow("the game's layout")
            << kGameState
            << TelemetryData{.valid = true, .flaps = 0, .gear = 100, .thrust = 100.0f, .airspeed = 292.0f,
                             .vertical_speed = -3.5f, .g_force = 1.03f, .aoa = 2.6f};
        QTest::newRow("flaps 33.9") << QByteArray(R"({"valid": true, "flaps, %": 33.9})")
                                    << TelemetryData{.valid = true, .flaps = 33};
        QTest::newRow("low bytes") << QByteArray(R"({"flaps, %": 300, "gear, %": -10.7})")
                                   << TelemetryData{.flaps = 44, .gear = 246};
        // Beyond the float range: an infinity, as IEEE rounding gives it; the
        // percentage keeps its low byte (1e20 is a multiple of 256).
        QTest::newRow("huge numbers")
            << QByteArray(R"({"valid": true, "IAS, km/h": 1e300, "flaps, %": 1e20})")
            << TelemetryData{.valid = true, .airspeed = std::numeric_limits<float>::infinity()};
        QTest::newRow("missing keys") << QByteArray("{}") << TelemetryData{};
        QTest::newRow("wrong types")
            << QByteArray(R"({"valid": "true", "IAS, km/h": "420", "AoA, deg": null, "Ny": [2.1],
                             "throttle 1, %": {"v": 87}, "flaps, %": true, "gear, %": "100"})")
            << TelemetryData{};
        QTest::newRow("valid 1 is no boolean") << QByteArray(R"({"valid": 1, "IAS, km/h": 420})")
                                               << TelemetryData{.airspeed = 420.0f};
        QTest::newRow("not JSON") << QByteArray("<html>no battle</html>") << TelemetryData{};
        QTest::newRow("JSON cut short") << QByteArray(R"({"valid": true, "IAS, km/h": 4)") << TelemetryData{};
        QTest::newRow("array") << QByteArray(R"([{"valid": true, "IAS, km/h": 420}])") << TelemetryData{};
    }

    void parse()
    {
        QFETCH(QByteArray, body);
        QFETCH(TelemetryData, expected);
        QCOMPARE(hexOf(WarthunderTelemetryReader::parse(body)), hexOf(expected));
    }

    // While a request is outstanding, ticks (the handler's own and explicit
    // ones) neither send another request nor emit; the answer gives exactly one
    // record, and the following tick sends the next request.
    void oneRequestAtATime()
    {
        StatePageServer server;
        QVERIFY(server.listen());
        server.hold();
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(TelemetryHandler::Warthunder);
        handler.pollReader();
        QTRY_COMPARE(server.requests(), 1);
        for (int i = 0; i < 5; ++i) {
            handler.pollReader();
            QTest::qWait(40);
        }
        QCOMPARE(server.requests(), 1);
        QCOMPARE(spy.size(), 0);

        server.release();
        server.hold();  // the next request waits again
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(hexOf(recordAt(spy, 0)), hexOf(kSampleRecord));
        QTRY_COMPARE(server.requests(), 2);  // sent by the handler's next tick
        QTest::qWait(100);
        QCOMPARE(server.requests(), 2);
        QCOMPARE(spy.size(), 1);
    }

    // The reader on its own, so that only the test ticks: a refused connection
    // gives exactly one invalid record and frees the reader at once for the
    // next tick's request; without a tick no request leaves.
    void connectionRefused()
    {
        TelemetryHandler handler(nullptr, testPorts());  // no source of its own: its timer polls nothing
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        WarthunderTelemetryReader reader(&handler, testPorts().warthunder);

        reader.poll();
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(hexOf(recordAt(spy, 0)), hexOf(TelemetryData{}));

        StatePageServer server;
        QVERIFY(server.listen());
        reader.poll();
        QTRY_COMPARE(spy.size(), 2);
        QVERIFY(recordAt(spy, 1).valid);
        QCOMPARE(recordAt(spy, 1).airspeed, 420.0f);

        QTest::qWait(100);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(server.requests(), 1);
    }

    void misbehavingServer_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("drip");
        QTest::addColumn<int>("dripMs");
        QTest::addColumn<bool>("close");
        QTest::addColumn<int>("notBeforeMs");
        QTest::addColumn<int>("withinMs");

        // moc misreads raw strings that end in a quote.
        const QByteArray start = "{\"valid\": true, \"IAS, km/h\": 420, \"pad\": \"";
        const QByteArray open =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n" + start;
        const QByteArray large = start + QByteArray(10 * 1024 * 1024, 'x') + "\"}";
        // Anything but a trickle or silence ends before the deadline: the bound
        // is the property here (the size limit or the server ends it, not the
        // timeout), with a quarter of the deadline to spare for a loaded machine.
        const int deadline = WarthunderTelemetryReader::kTransferTimeoutMs;
        const int soon = deadline * 3 / 4;

        QTest::newRow("not HTTP") << patterned(4096, 13, 7919, 256) << QByteArray() << 0 << true << 0 << soon;
        QTest::newRow("body cut short")
            << httpResponse(kSample).chopped(kSample.size() - 40) << QByteArray() << 0 << true << 0 << soon;
        QTest::newRow("HTTP 404") << httpResponse(kSample, "404 Not Found") << QByteArray() << 0 << false
                                  << 0 << soon;
        // Valid JSON, but no state page is that large.
        QTest::newRow("10 MiB body") << httpResponse(large) << QByteArray() << 0 << false << 0 << soon;
        QTest::newRow("endless body") << open << QByteArray(64 * 1024, 'x') << 0 << false << 0 << soon;
        // Never silent for as long as the transfer timeout: only the deadline ends it.
        QTest::newRow("trickled body") << open << QByteArray("x") << 100 << false << 0 << 3 * deadline;
        // Accepts the connection and never answers: the transfer timeout ends it, not before.
        QTest::newRow("silent") << QByteArray() << QByteArray() << 0 << false << deadline * 9 / 10
                                << 3 * deadline;
    }

    // Whatever the server does, the request ends in time with one invalid
    // record, and the next tick sends the next request.
    void misbehavingServer()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, drip);
        QFETCH(int, dripMs);
        QFETCH(bool, close);
        QFETCH(int, notBeforeMs);
        QFETCH(int, withinMs);
        StatePageServer server(head, drip, dripMs, close);
        QVERIFY(server.listen());
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        QElapsedTimer clock;
        qint64 firstRecordMs = -1;
        connect(&handler, &TelemetryHandler::telemetryUpdate, this, [&] {
            if (firstRecordMs < 0)
                firstRecordMs = clock.elapsed();
        });
        handler.setMode(TelemetryHandler::Warthunder);
        clock.start();
        handler.pollReader();

        QTRY_VERIFY_WITH_TIMEOUT(spy.size() >= 1, 10000);
        QVERIFY2(firstRecordMs >= notBeforeMs && firstRecordMs < withinMs,
                 qPrintable(QString::number(firstRecordMs)));
        QCOMPARE(hexOf(recordAt(spy, 0)), hexOf(TelemetryData{}));
        QTRY_VERIFY(server.requests() >= 2);
    }

    // A flood is cut off at the size limit and does not hold the requests
    // after it: each ends in one invalid record, and the next one follows.
    void floodingServerHoldsNoRequest()
    {
        FloodingServer server;
        QVERIFY(server.waitListening());
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(TelemetryHandler::Warthunder);
        handler.pollReader();

        QTRY_VERIFY_WITH_TIMEOUT(server.requests() >= 3,
                                 3 * WarthunderTelemetryReader::kTransferTimeoutMs);
        handler.setMode(TelemetryHandler::Debug);
        QVERIFY(spy.size() >= 2);
        QCOMPARE(hexOf(recordAt(spy, 0)), hexOf(TelemetryData{}));
        QCOMPARE(hexOf(recordAt(spy, 1)), hexOf(TelemetryData{}));
    }

    // Leaving War Thunder with a request outstanding drops it quietly.
    void modeChangeDuringRequest()
    {
        StatePageServer server;
        QVERIFY(server.listen());
        server.hold();
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(TelemetryHandler::Warthunder);
        handler.pollReader();
        QTRY_COMPARE(server.requests(), 1);
        handler.setMode(TelemetryHandler::Debug);  // without a form: all-zero records
        server.release();
        QTest::qWait(100);
        for (const QList<QVariant> &args : std::as_const(spy))
            QCOMPARE(hexOf(args.at(0).value<TelemetryData>()), hexOf(TelemetryData{}));
    }
};

QTEST_GUILESS_MAIN(TestWarthunderReader)
#include "tst_warthunderreader.moc"
