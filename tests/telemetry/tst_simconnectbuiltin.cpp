#include "simconnect.h"
#include "stdoutcapture.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"
#include "testbytes.h"

#include <QSignalSpy>
#include <QTest>

// The SimConnect built in where the SDK is absent, and the MSFS source on top of it.

class TestSimConnectBuiltin : public QObject
{
    Q_OBJECT

private slots:
    // As with no simulator running: Open fails and hands out no handle.
    void openFails()
    {
        HANDLE handle = reinterpret_cast<HANDLE>(0x1);
        QVERIFY(SimConnect_Open(&handle, "Vorkast", nullptr, 0, nullptr, 0) < 0);
        QCOMPARE(handle, nullptr);

        SIMCONNECT_RECV *message = reinterpret_cast<SIMCONNECT_RECV *>(0x1);
        DWORD size = 1;
        QVERIFY(SimConnect_GetNextDispatch(nullptr, &message, &size) < 0);
        QCOMPARE(message, nullptr);
        QCOMPARE(size, DWORD(0));
    }

    // The "MSFS" source then never connects: an all-zero record every tick.
    void readerStaysDisconnected()
    {
        TelemetryHandler handler(nullptr);
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        QSignalSpy problems(&handler, &TelemetryHandler::sourceProblem);
        QByteArray out = stdoutOf([&] { handler.setMode(TelemetryHandler::Msfs); });
        for (int tick = 0; tick < 5; ++tick) {
            out += stdoutOf([&] { handler.pollReader(); });
            QCOMPARE(spy.size(), 1);
            QCOMPARE(bytesOf(vorkast::toPacket(spy.takeFirst().at(0).value<TelemetryData>())),
                     QByteArray(sizeof(TelemetryPacket), '\0'));
        }
        out += stdoutOf([&] { handler.setMode(TelemetryHandler::Debug); });
        QCOMPARE(out, QByteArray("Start MSFS 2020 telemetry \nStop MSFS 2020 telemetry \n"));
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.at(0).at(0).toString().startsWith("MSFS telemetry: SimConnect is not available"),
                 qPrintable(problems.at(0).at(0).toString()));
    }
};

QTEST_GUILESS_MAIN(TestSimConnectBuiltin)
#include "tst_simconnectbuiltin.moc"
