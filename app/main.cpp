#include "mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // How the desktop ties the window to the installed .desktop file, for its
    // name and icon (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(VORKAST_APP_ID));
    MainWindow window;
    window.show();

    // Installed after show() so the widgets already on screen take it too.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);

    // For the start-up benchmark: once the event loop runs with the window
    // shown, say so and quit.
    if (qEnvironmentVariableIsSet("VORKAST_STARTUP_PROBE")) {
        QTimer::singleShot(0, &app, [] {
            std::fputs("window shown\n", stderr);
            std::fflush(stderr);
            QCoreApplication::quit();
        });
    }

    return app.exec();
}
