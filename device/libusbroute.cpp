#include "protocol.h"
#include "routes.h"

#include <libusb.h>

#include <cstdio>
#include <string>

namespace vorkast::routes {

using namespace protocol;

namespace {

class LibusbDevice final : public Device
{
public:
    explicit LibusbDevice(libusb_device_handle *handle)
        : m_handle(handle)
    {
    }
    ~LibusbDevice() override { libusb_close(m_handle); }

    Route route() const override { return Route::Libusb; }

    std::string name() const override
    {
        libusb_device *device = libusb_get_device(m_handle);
        const unsigned bus = libusb_get_bus_number(device);
        const unsigned address = libusb_get_device_address(device);
#ifdef __linux__
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", bus, address);
        return node;
#else
        return "usb " + std::to_string(bus) + "-" + std::to_string(address);
#endif
    }

    int requestFeature(std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length) override
    {
        return libusb_control_transfer(m_handle, kGetReportRequestType, kHidGetReport,
                                       kFeatureReportType | reportId, kInterface, buffer, length,
                                       kTransferTimeoutMs);
    }

    int sendFeature(const std::uint8_t *report, std::uint16_t length) override
    {
        if (length == 0)
            return LIBUSB_ERROR_INVALID_PARAM;
        // libusb takes a mutable buffer but only reads it on an OUT transfer.
        return libusb_control_transfer(m_handle, kSetReportRequestType, kHidSetReport,
                                       kFeatureReportType | report[0], kInterface,
                                       const_cast<std::uint8_t *>(report), length,
                                       kTransferTimeoutMs);
    }

private:
    libusb_device_handle *const m_handle;
};

} // namespace

DeviceHandle openLibusb(libusb_context *context, std::uint16_t productId, std::string &problem)
{
    libusb_device_handle *handle =
        libusb_open_device_with_vid_pid(context, CONTROLLER_VENDOR_ID, productId);
    if (!handle)
        return nullptr;
#ifdef __linux__
    // usbfs refuses class requests to an interface a driver holds; taking it
    // from the HID driver would take the controller from the simulator too.
    if (libusb_kernel_driver_active(handle, kInterface) == 1) {
        problem = "its HID driver holds it and offers no usable hidraw node";
        libusb_close(handle);
        return nullptr;
    }
#else
    (void)problem;  // nothing can stand in the way once libusb has opened it
#endif
    return std::make_unique<LibusbDevice>(handle);
}

} // namespace vorkast::routes
