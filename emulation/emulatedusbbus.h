#pragma once

#include "virtualcontroller.h"

#include <QStringList>

#include <memory>
#include <vector>

// An emulated USB bus on umockdev on which the real libusb finds the virtual
// controllers by vendor/product id and whose control transfers reach them.
//
// Create the bus before libusb_init; controllers attached later arrive as on a
// real bus, through their uevents. The process that
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

    // Who holds a controller's interface 0 on the emulated host.
    enum class Driver {
        // Nobody: usbfs carries the HID class requests to the interface.
        None,
        // The kernel's HID driver, as on a desktop: usbfs names it "usbhid",
        // refuses class requests to the interface (EBUSY, as the kernel does)
        // and refuses claims and detaches; the interface's hidraw node
        // /dev/hidrawN turns HIDIOCSFEATURE / HIDIOCGFEATURE into the SET_REPORT /
        // GET_REPORT the kernel would send, so the controller sees the same
        // requests. The node and sysfs also answer what hidapi and wine's
        // winebus ask of a HID device: its report descriptor, name and ids.
        Hid,
        // As Hid, but the hidraw node cannot be opened: it is missing from /dev.
        HidNodeUnopenable,
    };

    // The top-level collections of a controller's HID report descriptor.
    enum class Collections {
        // One vendor-defined collection declaring feature reports 0x1E..0x21.
        VendorOnly,
        // A joystick collection (axes as input report 1) before the vendor one.
        JoystickFirst,
        // One joystick collection holding the axes and the feature reports.
        JoystickHoldsAll,
        // The joystick collection alone: no collection declares the reports.
        WithoutSettings,
    };
    static QByteArray reportDescriptor(VirtualController::Kind kind, Collections collections);

    // Adds a controller as the next device on bus 001; the bus owns it. Its
    // "add" uevents go out, so a program already watching sees it arrive.
    VirtualController &attach(VirtualController::Kind kind, Driver driver = Driver::None,
                              Collections collections = Collections::VendorOnly);
    // The cable pulled: "remove" uevents, children first, and the device leaves
    // sysfs and /dev; its nodes still open fail every request with ENODEV. The
    // controller keeps its records and transfers, as firmware keeps its flash.
    void unplug(VirtualController &controller);
    // Plugged back: the same controller as a new device (next address), with
    // the driver and collections it had, announced as attach() does.
    void plugIn(VirtualController &controller);

    // How the host reached a controller, as its kernel would have seen it;
    // summed over every time it was plugged in.
    struct Traffic
    {
        int usbfsControl = 0;    // control URBs that ran on the controller through usbfs
        int usbfsRefused = 0;    // control URBs refused: the driver holds the interface
        int hidrawFeature = 0;   // feature ioctls that ran on the controller through hidraw
        int goneRequests = 0;    // URBs and feature ioctls on its nodes while it was unplugged
        QStringList driverGrabs; // claims, detaches, resets and the like on its usbfs node
    };
    Traffic traffic(const VirtualController &controller) const;

    // The controller's hidraw node ("/dev/hidraw0"); empty for Driver::None
    // and while it is unplugged.
    QString hidrawNode(const VirtualController &controller) const;

    // Environment a child process needs to see this bus (LD_PRELOAD, UMOCKDEV_DIR).
    static const char *preloadLibrary();  // "libumockdev-preload.so.0"

    // Re-executes the current program once with the preload library in
    // LD_PRELOAD, unless it is already there. Call first thing in main().
    static void ensurePreloaded(int argc, char **argv);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
