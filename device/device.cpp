#include "device.h"

#include "routes.h"

namespace vorkast {

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
