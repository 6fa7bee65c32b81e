#include "device.h"

#include "routes.h"

#include <libusb.h>

namespace vorkast {

int Device::getFeature(std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length)
{
    if (m_gone)
        return LIBUSB_ERROR_NO_DEVICE;
    const int result = requestFeature(reportId, buffer, length);
    m_gone = result == LIBUSB_ERROR_NO_DEVICE;
    return result;
}

int Device::setFeature(const std::uint8_t *report, std::uint16_t length)
{
    if (m_gone)
        return LIBUSB_ERROR_NO_DEVICE;
    const int result = sendFeature(report, length);
    m_gone = result == LIBUSB_ERROR_NO_DEVICE;
    return result;
}

OpenedController openController(std::uint16_t productId, std::optional<libusb_context *> usb)
{
    OpenedController opened;
    std::string hidProblem;
    opened.device = routes::openHid(productId, hidProblem);
    if (opened.device)
        return opened;
    std::string usbProblem;
    if (usb)
        opened.device = routes::openLibusb(*usb, productId, usbProblem);
    if (opened.device)
        return opened;
    opened.problem = hidProblem.empty() ? usbProblem
        : usbProblem.empty()            ? hidProblem
                                        : hidProblem + "; " + usbProblem;
    return opened;
}

} // namespace vorkast
