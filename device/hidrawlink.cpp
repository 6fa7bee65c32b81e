#ifdef __linux__

#include "hidrawlink.h"

#include <libusb.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorkast::hidraw {

// An open hidraw node. Opened once: a node the user may not open stays
// closed for the handle's life, as the controllers are found only at start.
class Link
{
public:
    // An empty `node`: the driver holds the interface but it has no hidraw node.
    explicit Link(const std::string &node)
        : fd(node.empty() ? -1 : ::open(node.c_str(), O_RDWR | O_CLOEXEC))
        , error(node.empty() ? ENOENT : fd < 0 ? errno : 0)
    {
    }
    ~Link()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    const int fd;
    const int error;  // of the open, when it failed
};

namespace {

// The ioctl number holds the length in 14 bits; anything longer would become
// a different request.
constexpr std::uint16_t kMaxIoctlLength = _IOC_SIZEMASK;

// From a hidraw class device (.../<interface>/<hid device>/hidraw/hidrawN) up to
// its USB interface is three levels; one spare for drivers that nest deeper.
constexpr int kLevelsToInterface = 4;

struct Route
{
    // Identity of the device the route was found for; never dereferenced.
    libusb_device *device = nullptr;
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::shared_ptr<Link> link;  // null: libusb control transfers
};

// Touched only from the transport's one thread (see hidtransport.h): no lock.
std::map<libusb_device_handle *, Route> routes;

int libusbError(int error)
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

std::optional<long> numberAttribute(const std::string &path, int base)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char text[32] = {};
    const ssize_t size = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (size <= 0)
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, base);
    if (end == text || errno != 0 || (*end != '\0' && *end != '\n'))
        return std::nullopt;
    return value;
}

std::string parentOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool isHidrawName(const char *name)
{
    constexpr std::size_t prefix = sizeof "hidraw" - 1;
    if (std::strncmp(name, "hidraw", prefix) != 0 || name[prefix] == '\0')
        return false;
    return std::all_of(name + prefix, name + std::strlen(name),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The /dev node of the hidraw device on interface 0 of the USB device at
// bus/address; empty when there is none.
std::string findNode(int bus, int address)
{
    constexpr const char classDir[] = "/sys/class/hidraw";
    DIR *dir = ::opendir(classDir);
    if (!dir)
        return {};

    std::string found;
    while (const dirent *entry = ::readdir(dir)) {
        if (!isHidrawName(entry->d_name))
            continue;
        char resolved[PATH_MAX];
        const std::string classDevice = std::string(classDir) + '/' + entry->d_name;
        if (!::realpath(classDevice.c_str(), resolved))
            continue;

        std::string at = resolved;
        for (int level = 0; level < kLevelsToInterface && found.empty(); ++level) {
            at = parentOf(at);
            if (at.empty())
                break;
            const std::optional<long> interface = numberAttribute(at + "/bInterfaceNumber", 16);
            if (!interface)
                continue;
            // The nearest USB interface is the one the HID device belongs to.
            const std::string usbDevice = parentOf(at);
            if (*interface == 0 && numberAttribute(usbDevice + "/busnum", 10) == bus
                && numberAttribute(usbDevice + "/devnum", 10) == address)
                found = std::string("/dev/") + entry->d_name;
            break;
        }
        if (!found.empty())
            break;
    }
    ::closedir(dir);
    return found;
}

} // namespace

std::shared_ptr<Link> linkFor(libusb_device_handle *handle)
{
    libusb_device *device = libusb_get_device(handle);
    const std::uint8_t bus = libusb_get_bus_number(device);
    const std::uint8_t address = libusb_get_device_address(device);

    auto it = routes.find(handle);
    // A handle closed without closeDevice() may have left its route behind, and
    // its memory may now serve another device's handle.
    if (it != routes.end()
        && (it->second.device != device || it->second.bus != bus || it->second.address != address)) {
        routes.erase(it);
        it = routes.end();
    }
    if (it == routes.end()) {
        const int active = libusb_kernel_driver_active(handle, 0);
        if (active < 0)
            return nullptr;  // undecided (e.g. unplugged): libusb's failure stands; asked again next time
        Route route{device, bus, address, nullptr};
        if (active == 1)
            route.link = std::make_shared<Link>(findNode(bus, address));
        it = routes.emplace(handle, std::move(route)).first;
    }
    return it->second.link;
}

int getFeature(Link &link, std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length)
{
    if (link.fd < 0)
        return libusbError(link.error);
    if (length > kMaxIoctlLength)
        return LIBUSB_ERROR_INVALID_PARAM;

    // The kernel reads the report id from byte 0 and writes the reply over it;
    // the caller's buffer receives only what arrived.
    std::vector<std::uint8_t> reply(std::max<std::size_t>(length, 1));
    reply[0] = reportId;
    const int result = ::ioctl(link.fd, HIDIOCGFEATURE(length), reply.data());
    if (result < 0)
        return libusbError(errno);
    const int count = std::min<int>(result, length);
    if (count > 0)
        std::memcpy(buffer, reply.data(), std::size_t(count));
    return count;
}

int setFeature(Link &link, std::uint8_t reportId, std::uint8_t *report, std::uint16_t length)
{
    if (link.fd < 0)
        return libusbError(link.error);
    if (length == 0 || length > kMaxIoctlLength || report[0] != reportId)
        return LIBUSB_ERROR_INVALID_PARAM;
    const int result = ::ioctl(link.fd, HIDIOCSFEATURE(length), report);
    return result < 0 ? libusbError(errno) : result;
}

void forget(libusb_device_handle *handle)
{
    routes.erase(handle);  // closes the node
}

} // namespace vorkast::hidraw

#endif
