#include <QApplication>
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>

// The yardstick for the application's running cost: a Qt program that does
// only what the telemetry bridge cannot do without, a 20 ms timer that
// drains the DCS port. With --widgets it is a widgets program showing an
// empty window, to tell the toolkit's own share from the tool's.
int main(int argc, char *argv[])
{
    const bool widgets = argc > 1 && std::strcmp(argv[1], "--widgets") == 0;
    std::unique_ptr<QCoreApplication> app = widgets
        ? std::make_unique<QApplication>(argc, argv)
        : std::make_unique<QCoreApplication>(argc, argv);
    std::unique_ptr<QWidget> window;
    if (widgets) {
        window = std::make_unique<QWidget>();
        window->show();
    }
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::Any, 6666))
        return EXIT_FAILURE;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&socket] {
        while (socket.hasPendingDatagrams())
            socket.receiveDatagram();
    });
    tick.start(20);
    return app->exec();
}
