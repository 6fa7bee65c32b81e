#pragma once

#include "emulatedusbbus.h"
#include "mainwindow.h"

#include <memory>

// The main window started on an emulated bus holding the chosen controllers.
// Records put on a controller before start() are what the window reads at
// start-up.
struct WindowOnBus
{
    // Who holds the controllers: on Windows always its HID driver; the Linux
    // tests take usbfs, and test the HID driver's route where they say so.
#ifdef _WIN32
    static constexpr EmulatedUsbBus::Driver kDriver = EmulatedUsbBus::Driver::Hid;
#else
    static constexpr EmulatedUsbBus::Driver kDriver = EmulatedUsbBus::Driver::None;
#endif

    EmulatedUsbBus bus;
    VirtualController *joystick = nullptr;
    VirtualController *pedals = nullptr;
    std::unique_ptr<MainWindow> window;

    WindowOnBus(bool withJoystick, bool withPedals)
    {
        if (withJoystick)
            joystick = &bus.attach(VirtualController::Kind::Joystick, kDriver);
        if (withPedals)
            pedals = &bus.attach(VirtualController::Kind::Pedals, kDriver);
    }

    ~WindowOnBus() { window.reset(); }  // libusb_exit before the bus goes away

    MainWindow &start(TelemetryPorts ports)
    {
        window = std::make_unique<MainWindow>(nullptr, ports);
        return *window;
    }
};
