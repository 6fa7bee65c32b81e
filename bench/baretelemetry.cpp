#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdlib>

// The yardstick for the application's running cost: a Qt program that does
// only what the telemetry bridge cannot do without, a 20 ms timer that
// drains the DCS port.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::Any, 6666))
        return EXIT_FAILURE;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&socket] {
        while (socket.hasPendingDatagrams())
            socket.receiveDatagram();
    });
    tick.start(20);
    return app.exec();
}
