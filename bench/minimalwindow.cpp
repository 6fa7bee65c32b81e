#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

// The yardstick for the application's start-up: a Qt widgets program that
// shows one window, with the same probe as vorkast-startup-probe.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(525, 1028);
    window.show();
    QTimer::singleShot(0, &app, [] {
        std::fputs("window shown\n", stderr);
        std::fflush(stderr);
        QCoreApplication::quit();
    });
    return app.exec();
}
