#pragma once

#include "emulatedusbbus.h"
#include "loopback.h"
#include "mainwindow.h"

#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <memory>

// A main window started on an emulated bus holding the chosen controllers, its
// network telemetry sources on the test program's free ports (testPorts()).
// Records a test puts on a controller before start() are what the window reads
// at start-up.
struct WindowRig
{
    EmulatedUsbBus bus;
    VirtualController *joystick = nullptr;
    VirtualController *pedals = nullptr;
    std::unique_ptr<MainWindow> window;

    WindowRig(bool withJoystick, bool withPedals)
    {
        if (withJoystick)
            joystick = &bus.attach(VirtualController::Kind::Joystick);
        if (withPedals)
            pedals = &bus.attach(VirtualController::Kind::Pedals);
    }

    ~WindowRig() { window.reset(); }  // libusb_exit before the bus goes away

    MainWindow &start()
    {
        window = std::make_unique<MainWindow>(nullptr, testPorts());
        return *window;
    }

    template <typename T>
    T *control(const char *name) const
    {
        return window->findChild<T *>(name);
    }

    // The status bar's passing message.
    QString status() const { return control<QStatusBar>("statusbar")->currentMessage(); }

    QString tabText(int index) const
    {
        return control<QTabWidget>("main_tabplane")->tabText(index);
    }

    // Runs a slot as its button would; a name the window has no slot of fails the test.
    void invoke(const char *slot) const { invokeSlot(window.get(), slot); }

    static void invokeSlot(QObject *window, const char *slot)
    {
        QVERIFY2(QMetaObject::invokeMethod(window, slot, Qt::DirectConnection),
                 qPrintable(QStringLiteral("no slot %1").arg(QLatin1StringView(slot))));
    }
};
