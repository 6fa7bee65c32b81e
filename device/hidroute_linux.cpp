// The HID route on Linux: the controller's hidraw node, through hidapi.

#include "boundedcall.h"
#include "protocol.h"
#include "reportdescriptor.h"
#include "routes.h"

#include <hidapi/hidapi.h>
#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace vorkast::routes {

using namespace protocol;

namespace {

int libusbErrorOf(int error)
{
    switch (error) {
    case EPIPE: return LIBUSB_ERROR_PIPE;
    case ETIMEDOUT:
    case ETIME: return LIBUSB_ERROR_TIMEOUT;
    case EOVERFLOW: return LIBUSB_ERROR_OVERFLOW;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN: return LIBUSB_ERROR_NO_DEVICE;
    case ENOENT: return LIBUSB_ERROR_NOT_FOUND;
    case EACCES:
    case EPERM: return LIBUSB_ERROR_ACCESS;
    case EBUSY: return LIBUSB_ERROR_BUSY;
    case EINVAL: return LIBUSB_ERROR_INVALID_PARAM;
    case ENOMEM: return LIBUSB_ERROR_NO_MEM;
    case EINTR: return LIBUSB_ERROR_INTERRUPTED;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP: return LIBUSB_ERROR_NOT_SUPPORTED;
    default: return LIBUSB_ERROR_IO;
    }
}

// The kernel's ioctl number holds the length in 14 bits.
constexpr std::uint16_t kMaxIoctlLength = (1u << 14) - 1;

class HidrawDevice final : public Device
{
public:
    HidrawDevice(hid_device *device, std::string path)
        : m_device(device)
        , m_path(std::move(path))
    {
    }
    ~HidrawDevice() override
    {
        m_caller.reset();  // no call may still run on the device
        hid_close(m_device);
    }

    Route route() const override { return Route::Hid; }
    std::string name() const override { return m_path; }

    int requestFeature(std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length) override
    {
        if (length == 0 || length > kMaxIoctlLength)
            return LIBUSB_ERROR_INVALID_PARAM;
        // The kernel takes the id from byte 0 and writes the reply over it.
        auto reply = std::make_shared<std::vector<std::uint8_t>>(length);
        (*reply)[0] = reportId;
        const int result = call([device = m_device, reply] {
            return hid_get_feature_report(device, reply->data(), reply->size());
        });
        if (result > 0)
            std::memcpy(buffer, reply->data(), std::min<std::size_t>(std::size_t(result), length));
        return result < 0 ? result : std::min<int>(result, length);
    }

    int sendFeature(const std::uint8_t *report, std::uint16_t length) override
    {
        if (length == 0 || length > kMaxIoctlLength)
            return LIBUSB_ERROR_INVALID_PARAM;
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(report, report + length);
        return call([device = m_device, bytes] {
            return hid_send_feature_report(device, bytes->data(), bytes->size());
        });
    }

private:
    // hidapi answers -1 and leaves errno as the ioctl set it.
    int call(std::function<int()> transfer)
    {
        const std::optional<int> result = m_caller->run(
            [transfer = std::move(transfer)] {
                errno = 0;
                const int result = transfer();
                return result >= 0 ? result : libusbErrorOf(errno);
            },
            std::chrono::milliseconds(kTransferTimeoutMs));
        return result ? *result : LIBUSB_ERROR_TIMEOUT;
    }

    hid_device *const m_device;
    const std::string m_path;
    std::unique_ptr<BoundedCaller> m_caller = std::make_unique<BoundedCaller>();
};

// The report descriptor of a hidraw node, as the kernel publishes it in sysfs.
std::vector<std::uint8_t> reportDescriptorOf(const std::string &node)
{
    const std::size_t slash = node.rfind('/');
    const std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
    std::ifstream file("/sys/class/hidraw/" + name + "/device/report_descriptor",
                       std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

bool declaresControllerReports(const std::vector<std::uint8_t> &descriptor)
{
    for (const hid::TopLevelCollection &collection : hid::topLevelCollections(descriptor)) {
        std::vector<std::uint8_t> ids;
        for (const hid::FeatureReport &report : collection.featureReports)
            ids.push_back(report.id);
        if (hid::carriesControllerReports(ids))
            return true;
    }
    return false;
}

} // namespace

DeviceHandle openHid(std::uint16_t productId, std::string &problem)
{
    // hidapi lists a node once per top-level collection; the node is what opens.
    std::set<std::string> nodes;
    hid_device_info *all = hid_enumerate(CONTROLLER_VENDOR_ID, productId);
    for (const hid_device_info *info = all; info; info = info->next) {
        if (info->path)
            nodes.insert(info->path);
    }
    hid_free_enumeration(all);

    for (const std::string &node : nodes) {
        if (!declaresControllerReports(reportDescriptorOf(node))) {
            problem = node + " declares none of the controller's settings reports";
            continue;
        }
        errno = 0;
        if (hid_device *device = hid_open_path(node.c_str())) {
            problem.clear();
            return std::make_unique<HidrawDevice>(device, node);
        }
        problem = "cannot open " + node + ": " + std::strerror(errno ? errno : EIO);
    }
    return nullptr;
}

} // namespace vorkast::routes
