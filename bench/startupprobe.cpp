#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

// The application's start-up for the start-up benchmark: the window library
// started as the application starts it, then "window shown" on stderr and
// quit once the event loop runs with the window shown.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    showMainWindow(window);
    QTimer::singleShot(0, &app, [] {
        std::fputs("window shown\n", stderr);
        std::fflush(stderr);
        QCoreApplication::quit();
    });
    return app.exec();
}
