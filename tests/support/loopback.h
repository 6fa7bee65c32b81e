#pragma once

#include "telemetryports.h"

#include <QList>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

// Ports for the network sources that nothing else on the machine uses right
// now, so that a simulator's exporter or a running tool holding the real ports
// cannot disturb a test. The sockets are released before returning; the system
// hands out such ports in turn, so the source binding them next finds them free.
inline TelemetryPorts freeTelemetryPorts()
{
    QUdpSocket dcs;
    QUdpSocket il2;
    QTcpServer warthunder;
    if (!dcs.bind(QHostAddress::Any, 0) || !il2.bind(QHostAddress::Any, 0)
        || !warthunder.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port for the telemetry sources");
    return {.dcs = dcs.localPort(), .warthunder = warthunder.serverPort(), .il2 = il2.localPort()};
}

// For the tests that are about a simulator's own port: fails at once, naming
// the port, when another program holds it.
#define VORKAST_REQUIRE_FREE_UDP_PORT(port)                                                \
    do {                                                                                   \
        QUdpSocket probe_;                                                                 \
        QVERIFY2(probe_.bind(QHostAddress::Any, (port), QAbstractSocket::DontShareAddress), \
                 qPrintable(QStringLiteral("UDP port %1 is taken by another program: close "  \
                                           "it and run the test again").arg(port)));        \
    } while (false)

// One set of free ports for the whole test program, taken at first use.
inline const TelemetryPorts &testPorts()
{
    static const TelemetryPorts ports = freeTelemetryPorts();
    return ports;
}

// Sends `datagrams` to `port` over the loopback interface, then one more to a
// socket of its own, and returns once that one has arrived: loopback delivers
// in order, so the others are waiting at `port` by then, however busy the
// machine. False when even the last one did not arrive within 5 s.
inline bool sendOverLoopback(quint16 port, const QList<QByteArray> &datagrams)
{
    QUdpSocket sender;
    QUdpSocket witness;
    if (!witness.bind(QHostAddress::LocalHost, 0))
        return false;
    for (const QByteArray &datagram : datagrams)
        sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    sender.writeDatagram(QByteArray("sent"), QHostAddress::LocalHost, witness.localPort());
    return QTest::qWaitFor([&] { return witness.hasPendingDatagrams(); }, 5000);
}
