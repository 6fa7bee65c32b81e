#pragma once

#include "emulatedusbbus.h"
#include "mainwindow.h"

#include <memory>

// The main window started on an emulated bus holding the chosen controllers.
// Records put on a controller before start() are what the window reads at
// start-up.
struct WindowOnBus
{
    EmulatedUsbBus bus;
    VirtualController *joystick = nullptr;
    VirtualController *pedals = nullptr;
    std::unique_ptr<MainWindow> window;

    WindowOnBus(bool withJoystick, bool withPedals)
    {
        if (withJoystick)
            joystick = &bus.attach(VirtualController::Kind::Joystick);
        if (withPedals)
            pedals = &bus.attach(VirtualController::Kind::Pedals);
    }

    ~WindowOnBus() { window.reset(); }  // libusb_exit before the bus goes away

    MainWindow &start(TelemetryPorts ports)
    {
        window = std::make_unique<MainWindow>(nullptr, ports);
        return *window;
    }
};
