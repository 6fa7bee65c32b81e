#pragma once

#include "device.h"

#include <cstdint>
#include <string>

struct libusb_context;

// The routes openController() chooses from; each says in `problem` why a
// controller it found cannot be used.
namespace vorkast::routes {

// Through the system's HID driver. Null when no HID collection of the
// controller declares the controller's reports, or it could not be opened.
DeviceHandle openHid(std::uint16_t productId, std::string &problem);

// Control transfers on endpoint 0 through libusb. Null when libusb does not
// find the controller, or (Linux) a kernel driver holds its interface 0, so
// that usbfs would refuse every request.
DeviceHandle openLibusb(libusb_context *context, std::uint16_t productId, std::string &problem);

} // namespace vorkast::routes
