#pragma once

#ifdef __linux__

#include <cstdint>
#include <memory>

struct libusb_device_handle;

// Feature reports through the kernel's HID driver (Linux).
//
// On a desktop the kernel's HID driver holds each controller's interface 0, so
// usbfs refuses HID class requests to it, and detaching the driver would take
// the controller away from the simulator. The interface's hidraw node carries
// the same requests without taking anything from anyone: the kernel turns
// HIDIOCSFEATURE / HIDIOCGFEATURE into SET_REPORT / GET_REPORT of the report
// whose id is in byte 0, with wLength the ioctl's length.
namespace vorkast::hidraw {

class Link;

// The hidraw link of `device`, or null when its requests go through libusb
// (no kernel driver holds interface 0). Decided at the first request of a
// handle and kept until forget(), with the node opened then and kept open; a
// node that could not be opened fails every request of the handle.
std::shared_ptr<Link> linkFor(libusb_device_handle *device);

// GET_REPORT of Feature report `reportId`; at most `length` reply bytes,
// report id first, reach `buffer`, and none when the request fails. Results as
// libusb_control_transfer's: bytes transferred or a negative libusb error.
int getFeature(Link &link, std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length);

// SET_REPORT of the `length`-byte report in `report`, whose byte 0 must be
// `reportId` (the kernel takes the id from there); otherwise nothing is sent
// and the result is LIBUSB_ERROR_INVALID_PARAM.
int setFeature(Link &link, std::uint8_t reportId, std::uint8_t *report, std::uint16_t length);

// Drops the route of `device` and closes its node.
void forget(libusb_device_handle *device);

} // namespace vorkast::hidraw

#endif
