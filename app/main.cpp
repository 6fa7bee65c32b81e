#include "mainwindow.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();

    // Installed after show() so the widgets already on screen take it too.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);

    return app.exec();
}
