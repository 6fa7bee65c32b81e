#pragma once

#include "virtualcontroller.h"

#include <memory>
#include <vector>

// An emulated USB bus on umockdev on which the real libusb finds the virtual
// controllers by vendor/product id and whose control transfers reach them.
//
// Create the bus and attach controllers before libusb_init. The process that
// calls libusb must run with libumockdev-preload.so.0 preloaded (see
// ensurePreloaded). Child processes started while the bus exists inherit
// UMOCKDEV_DIR and, when preloaded, see the same bus.
class EmulatedUsbBus
{
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus &) = delete;
    EmulatedUsbBus &operator=(const EmulatedUsbBus &) = delete;

    // Adds a controller as the next device on bus 001; the bus owns it.
    VirtualController &attach(VirtualController::Kind kind);

    // Environment a child process needs to see this bus (LD_PRELOAD, UMOCKDEV_DIR).
    static const char *preloadLibrary();  // "libumockdev-preload.so.0"

    // Re-executes the current program once with the preload library in
    // LD_PRELOAD, unless it is already there. Call first thing in main().
    static void ensurePreloaded(int argc, char **argv);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
