#include "mainwindow.h"

#include <QApplication>
#include <QFont>

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

    return app.exec();
}
