#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct libusb_context;

namespace vorkast {

// One open controller, on whichever route reaches it:
// - Hid: the system's HID driver holds the controller (Windows always, a Linux
//   desktop through usbhid), and feature reports go through it: hidapi's
//   hidraw backend on Linux, hid.dll on Windows. Of the controller's HID
//   collections, the one declaring feature reports 0x1E..0x21 is used.
// - Libusb: nothing holds the controller's interface 0 (Linux without the HID
//   driver, Windows with WinUSB): HID class requests on the control endpoint.
//
// Either way a GET_REPORT reply reaches the caller as the controller sent it,
// from its first byte; a SET_REPORT carries the caller's bytes (zero padded
// where the driver wants the collection's full report length, the result still
// counting the caller's); every transfer returns within about 1000 ms, and at
// once when the controller is gone. Results are libusb's: bytes transferred,
// or a negative libusb error code, whatever the route.
//
// Not thread-safe: use a device from one thread.
class Device
{
public:
    enum class Route { Libusb, Hid };

    virtual ~Device() = default;
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    virtual Route route() const = 0;
    // What the route opened: a hidraw node, a Windows device path, or the usbfs
    // node (Linux; "usb BUS-ADDRESS" elsewhere). The system names the same
    // when it reports the device removed.
    virtual std::string name() const = 0;

    // GET_REPORT of the Feature report `reportId`: at most `length` reply bytes
    // to `buffer`; nothing written when it fails.
    int getFeature(std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length);
    // SET_REPORT of the Feature report whose id is `report[0]`, `length` bytes.
    int setFeature(const std::uint8_t *report, std::uint16_t length);

    // Once a transfer has found the controller gone (LIBUSB_ERROR_NO_DEVICE),
    // every later one fails the same way at once, without reaching the route:
    // a pulled cable costs one failed transfer, not one per pending request.
    bool gone() const { return m_gone; }

protected:
    Device() = default;

    virtual int requestFeature(std::uint8_t reportId, std::uint8_t *buffer,
                               std::uint16_t length) = 0;
    virtual int sendFeature(const std::uint8_t *report, std::uint16_t length) = 0;

private:
    bool m_gone = false;
};

using DeviceHandle = std::unique_ptr<Device>;

struct OpenedController
{
    DeviceHandle device;   // null: not found, or found but not usable
    std::string problem;   // why a controller that is there could not be used; else empty
};

// Looks for the controller with vendor 0x045B and `productId`, first on the
// HID route, then through libusb on `usb` (null: libusb's default context;
// nullopt: libusb is not available, the HID route only).
OpenedController openController(std::uint16_t productId,
                                std::optional<libusb_context *> usb = nullptr);

} // namespace vorkast
