#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // How the desktop ties the window to the installed .desktop file, for its
    // name and icon (Wayland's app id).
    QGuiApplication::setDesktopFileName(QStringLiteral(VORKAST_APP_ID));
    MainWindow window;
    showMainWindow(window);
    return app.exec();
}
