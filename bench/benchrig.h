#pragma once

#include "emulatedusbbus.h"
#include "mainwindow.h"

#include <QMetaObject>
#include <QtGlobal>

#include <memory>

// The main window on an emulated bus holding the chosen controllers. Its
// network sources take the simulators' own ports: the benchmarks run alone.
struct BenchRig
{
    EmulatedUsbBus bus;
    VirtualController *joystick = nullptr;
    VirtualController *pedals = nullptr;
    std::unique_ptr<MainWindow> window;

    BenchRig(bool withJoystick, bool withPedals)
    {
        if (withJoystick)
            joystick = &bus.attach(VirtualController::Kind::Joystick);
        if (withPedals)
            pedals = &bus.attach(VirtualController::Kind::Pedals);
    }

    ~BenchRig() { window.reset(); }  // libusb_exit before the bus goes away

    MainWindow &start()
    {
        window = std::make_unique<MainWindow>();
        return *window;
    }

    // Runs a slot as its button would.
    void invoke(const char *slot) const
    {
        if (!QMetaObject::invokeMethod(window.get(), slot, Qt::DirectConnection))
            qFatal("the window has no slot %s", slot);
    }
};
