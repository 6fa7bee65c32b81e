#include "emulatedusbbus.h"

#include "protocol.h"

#include <umockdev.h>

#include <linux/hidraw.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSetupSize = 8;

// One emulated device node. Shared with the signal closures of its ioctl
// handler, so that a late callback on umockdev's worker thread never sees it freed.
struct Device
{
    VirtualController *controller = nullptr;  // owned by the bus, outlives the device
    EmulatedUsbBus::Collections collections = EmulatedUsbBus::Collections::VendorOnly;
    // sysfs paths ("/sys/devices/..."), parents first: the USB device, then,
    // with a driver, its interface, the HID device and the hidraw class device.
    std::vector<std::string> sysPaths;
    bool present = true;  // on the bus: not unplugged since it was added
    std::string devnode;
    UMockdevIoctlBase *handler = nullptr;
    EmulatedUsbBus::Driver driver = EmulatedUsbBus::Driver::None;
    std::string hidrawNode;  // empty without a driver
    UMockdevIoctlBase *hidrawHandler = nullptr;
    QByteArray reportDescriptor;
    std::string hidName;

    std::mutex mutex;
    EmulatedUsbBus::Traffic traffic;
    // Completed URBs waiting to be reaped, per open file (client).
    std::map<UMockdevIoctlClient *, std::deque<UMockdevIoctlData *>> reapable;

    ~Device()
    {
        for (auto &[client, queue] : reapable) {
            for (UMockdevIoctlData *urb : queue)
                g_object_unref(urb);
        }
    }
};

using DeviceRef = std::shared_ptr<Device>;

Device &deviceOf(gpointer userData)
{
    return **static_cast<DeviceRef *>(userData);
}

void releaseDeviceRef(gpointer userData, GClosure *)
{
    delete static_cast<DeviceRef *>(userData);
}

// Runs the controller model on a control URB: the buffer starts with the setup
// packet, the data stage follows. Fills in status and actual_length the way
// usbfs reports them (actual_length excludes the setup packet).
void runControlUrb(VirtualController &controller, usbdevfs_urb *urb)
{
    auto *buffer = static_cast<std::uint8_t *>(urb->buffer);
    const std::uint8_t requestType = buffer[0];
    const std::uint8_t request = buffer[1];
    const auto value = static_cast<std::uint16_t>(buffer[2] | (buffer[3] << 8));
    const auto index = static_cast<std::uint16_t>(buffer[4] | (buffer[5] << 8));
    const auto length = static_cast<std::uint16_t>(buffer[6] | (buffer[7] << 8));

    int result = -1;
    if (length <= urb->buffer_length - kSetupSize)
        result = controller.handleControl(requestType, request, value, index, length,
                                          buffer + kSetupSize);
    if (result < 0) {
        urb->status = -EPIPE;
        urb->actual_length = 0;
    } else {
        urb->status = 0;
        urb->actual_length = result;
    }
}

// The kernel lets usbfs send a class or standard request to an interface only
// when usbfs holds it (or may take it); a bound driver makes that EBUSY.
bool refusedForDriver(const Device &device, const std::uint8_t *setup)
{
    const std::uint8_t requestType = setup[0];
    const bool toInterface0 = (requestType & 0x1F) == 0x01 && setup[4] == 0;
    const bool vendor = (requestType & 0x60) == 0x40;
    return device.driver != EmulatedUsbBus::Driver::None && toInterface0 && !vendor;
}

gboolean submitUrb(Device &device, UMockdevIoctlClient *client)
{
    if (device.controller->unplugged()) {
        {
            std::lock_guard lock(device.mutex);
            ++device.traffic.goneRequests;
        }
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    GError *error = nullptr;
    UMockdevIoctlData *urbData =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (!urbData) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }

    auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
    // Only the default control endpoint is modelled; the interrupt endpoint
    // exists for the descriptors' sake and is never polled by the tool.
    if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < kSetupSize) {
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }

    // Resolving replaces urb->buffer in the local copy with the local buffer.
    UMockdevIoctlData *bufferData = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), std::size_t(urb->buffer_length), &error);
    if (!bufferData) {
        g_clear_error(&error);
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    if (refusedForDriver(device, static_cast<const std::uint8_t *>(urb->buffer))) {
        g_object_unref(bufferData);
        g_object_unref(urbData);
        {
            std::lock_guard lock(device.mutex);
            ++device.traffic.usbfsRefused;
        }
        umockdev_ioctl_client_complete(client, -1, EBUSY);
        return TRUE;
    }
    runControlUrb(*device.controller, urb);
    g_object_unref(bufferData);  // urbData keeps it as a child and writes it back

    {
        std::lock_guard lock(device.mutex);
        ++device.traffic.usbfsControl;
        device.reapable[client].push_back(urbData);  // takes our reference
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

gboolean reapUrb(Device &device, UMockdevIoctlClient *client)
{
    UMockdevIoctlData *urbData = nullptr;
    {
        std::lock_guard lock(device.mutex);
        auto it = device.reapable.find(client);
        if (it != device.reapable.end() && !it->second.empty()) {
            urbData = it->second.front();
            it->second.pop_front();
        }
    }
    if (!urbData) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
    }

    // The argument is a pointer to the caller's URB pointer; hand back the very
    // URB the caller submitted, already completed at submit time.
    GError *error = nullptr;
    UMockdevIoctlData *slot =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void *), &error);
    if (!slot) {
        g_clear_error(&error);
        g_object_unref(urbData);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    umockdev_ioctl_data_set_ptr(slot, 0, urbData);
    g_object_unref(slot);
    g_object_unref(urbData);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

gboolean answerGetDriver(Device &device, UMockdevIoctlClient *client)
{
    GError *error = nullptr;
    UMockdevIoctlData *arg = umockdev_ioctl_data_resolve(
        umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_getdriver), &error);
    if (!arg) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    auto *query = reinterpret_cast<usbdevfs_getdriver *>(arg->data);
    int result = 0;
    int errnum = 0;
    if (query->interface != 0) {
        result = -1;
        errnum = EINVAL;  // no such interface
    } else if (device.driver == EmulatedUsbBus::Driver::None) {
        result = -1;
        errnum = ENODATA;  // the kernel's "no driver bound"
    } else {
        std::memset(query->driver, 0, sizeof query->driver);
        std::strcpy(query->driver, "usbhid");
    }
    g_object_unref(arg);
    umockdev_ioctl_client_complete(client, result, errnum);
    return TRUE;
}

const char *grabName(gulong request)
{
    switch (request) {
    case USBDEVFS_CLAIMINTERFACE: return "USBDEVFS_CLAIMINTERFACE";
    case USBDEVFS_DISCONNECT_CLAIM: return "USBDEVFS_DISCONNECT_CLAIM";
    case USBDEVFS_IOCTL: return "USBDEVFS_IOCTL";
    case USBDEVFS_SETINTERFACE: return "USBDEVFS_SETINTERFACE";
    case USBDEVFS_SETCONFIGURATION: return "USBDEVFS_SETCONFIGURATION";
    case USBDEVFS_RESET: return "USBDEVFS_RESET";
    default: return "?";
    }
}

// Requests that would take the interface (or the device) from whoever holds
// it. On record for every controller; with a driver bound they fail as the
// kernel fails a claim of a bound interface, without them it answers as before.
gboolean recordGrab(Device &device, UMockdevIoctlClient *client, gulong request)
{
    {
        std::lock_guard lock(device.mutex);
        device.traffic.driverGrabs.append(QString::fromLatin1(grabName(request)));
    }
    if (device.driver == EmulatedUsbBus::Driver::None)
        return FALSE;
    umockdev_ioctl_client_complete(client, -1, EBUSY);
    return TRUE;
}

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer userData)
{
    Device &device = deviceOf(userData);
    const gulong request = umockdev_ioctl_client_get_request(client);

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        GError *error = nullptr;
        UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(
            umockdev_ioctl_client_get_arg(client), 0, sizeof(std::uint32_t), &error);
        if (!caps) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        const std::uint32_t none = 0;  // control transfers need no optional feature
        std::memcpy(caps->data, &none, sizeof none);
        g_object_unref(caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    case USBDEVFS_SUBMITURB:
        return submitUrb(device, client);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        // URBs complete at submit, so a blocking reap never has to wait either.
        return reapUrb(device, client);
    case USBDEVFS_DISCARDURB:
        // Nothing is ever in flight; the kernel answers EINVAL for a URB it
        // no longer holds.
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    case USBDEVFS_GETDRIVER:
        return answerGetDriver(device, client);
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_IOCTL:  // carries USBDEVFS_DISCONNECT / USBDEVFS_CONNECT
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_RESET:
        return recordGrab(device, client, request);
    default:
        return FALSE;
    }
}

// The hidraw node of a controller the HID driver holds: feature ioctls become
// the requests usbhid sends, report id from byte 0, on interface 0.
// Copies `size` bytes into the caller's argument and completes the ioctl.
gboolean answerWith(UMockdevIoctlClient *client, const void *bytes, std::size_t size, int result)
{
    GError *error = nullptr;
    UMockdevIoctlData *data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (!data) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    std::memcpy(data->data, bytes, size);
    g_object_unref(data);
    umockdev_ioctl_client_complete(client, result, 0);
    return TRUE;
}

// What a HID node tells of itself: descriptor, ids, name and place.
gboolean answerHidrawInfo(Device &device, UMockdevIoctlClient *client, gulong request)
{
    const QByteArray &descriptor = device.reportDescriptor;
    if (request == gulong(HIDIOCGRDESCSIZE)) {
        const int size = int(descriptor.size());
        return answerWith(client, &size, sizeof size, 0);
    }
    if (request == gulong(HIDIOCGRDESC)) {
        // The caller says in `size` how much it wants, at most the descriptor.
        GError *error = nullptr;
        UMockdevIoctlData *data = umockdev_ioctl_data_resolve(
            umockdev_ioctl_client_get_arg(client), 0, sizeof(hidraw_report_descriptor), &error);
        if (!data) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        auto *wanted = reinterpret_cast<hidraw_report_descriptor *>(data->data);
        const bool fits = wanted->size <= std::uint32_t(descriptor.size());
        if (fits)
            std::memcpy(wanted->value, descriptor.constData(), wanted->size);
        g_object_unref(data);
        umockdev_ioctl_client_complete(client, fits ? 0 : -1, fits ? 0 : EINVAL);
        return TRUE;
    }
    if (request == gulong(HIDIOCGRAWINFO)) {
        hidraw_devinfo info{};
        info.bustype = 3;  // BUS_USB
        info.vendor = std::int16_t(vorkast::protocol::CONTROLLER_VENDOR_ID);
        info.product = std::int16_t(device.controller->productId());
        return answerWith(client, &info, sizeof info, 0);
    }
    const std::size_t length = _IOC_SIZE(request);
    if (request == gulong(HIDIOCGRAWNAME(length)) || request == gulong(HIDIOCGRAWPHYS(length))) {
        const std::string text =
            request == gulong(HIDIOCGRAWNAME(length)) ? device.hidName : "usb-0000:00:14.0-1/input0";
        std::vector<char> reply(length, '\0');
        std::memcpy(reply.data(), text.c_str(), std::min(length, text.size() + 1));
        if (length > 0)
            reply[length - 1] = '\0';
        return answerWith(client, reply.data(), length,
                          int(std::min(length, text.size() + 1)));
    }
    // Anything else (wine asks for evdev bits, for one) is not for hidraw.
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

gboolean onHidrawIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer userData)
{
    Device &device = deviceOf(userData);
    const gulong request = umockdev_ioctl_client_get_request(client);
    const bool set = request == gulong(HIDIOCSFEATURE(_IOC_SIZE(request)));
    const bool get = request == gulong(HIDIOCGFEATURE(_IOC_SIZE(request)));
    if (!set && !get)
        return answerHidrawInfo(device, client, request);
    if (device.controller->unplugged()) {
        {
            std::lock_guard lock(device.mutex);
            ++device.traffic.goneRequests;
        }
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }

    const std::size_t count = _IOC_SIZE(request);
    if (count < 2) {  // hidraw refuses reports shorter than id and one byte
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    GError *error = nullptr;
    UMockdevIoctlData *data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, count, &error);
    if (!data) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }

    // usbhid works on its own copy and leaves the id out of the data stage
    // when it is 0; only the reply bytes that arrived are copied back.
    std::vector<std::uint8_t> kernelBuffer(data->data, data->data + count);
    const std::uint8_t reportId = kernelBuffer[0];
    const std::size_t skip = reportId == 0 ? 1 : 0;
    const auto value = std::uint16_t(vorkast::protocol::kFeatureReportType | reportId);
    const auto length = std::uint16_t(count - skip);
    int result = set ? device.controller->handleControl(vorkast::protocol::kSetReportRequestType,
                                                        vorkast::protocol::kHidSetReport, value,
                                                        0, length, kernelBuffer.data() + skip)
                     : device.controller->handleControl(vorkast::protocol::kGetReportRequestType,
                                                        vorkast::protocol::kHidGetReport, value,
                                                        0, length, kernelBuffer.data() + skip);
    if (result >= 0) {
        result += int(skip);
        if (get)
            std::memcpy(data->data, kernelBuffer.data(), std::size_t(result));
    }
    g_object_unref(data);
    {
        std::lock_guard lock(device.mutex);
        ++device.traffic.hidrawFeature;
    }
    if (result < 0)
        umockdev_ioctl_client_complete(client, -1, EPIPE);  // the controller stalled
    else
        umockdev_ioctl_client_complete(client, result, 0);
    return TRUE;
}

void onClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer userData)
{
    Device &device = deviceOf(userData);
    std::deque<UMockdevIoctlData *> orphaned;
    {
        std::lock_guard lock(device.mutex);
        auto it = device.reapable.find(client);
        if (it == device.reapable.end())
            return;
        orphaned.swap(it->second);
        device.reapable.erase(it);
    }
    for (UMockdevIoctlData *urb : orphaned)
        g_object_unref(urb);
}

void connectShared(UMockdevIoctlBase *handler, const char *signal, GCallback callback,
                   const DeviceRef &device)
{
    g_signal_connect_data(handler, signal, callback, new DeviceRef(device), releaseDeviceRef,
                          GConnectFlags(0));
}

QByteArray descriptors(std::uint16_t productId, std::size_t reportDescriptorLength)
{
    using namespace vorkast::protocol;
    const std::uint8_t bytes[] = {
        // device: USB 2.0, class per interface, EP0 64 bytes, one configuration
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40,
        std::uint8_t(CONTROLLER_VENDOR_ID & 0xFF), std::uint8_t(CONTROLLER_VENDOR_ID >> 8),
        std::uint8_t(productId & 0xFF), std::uint8_t(productId >> 8),
        0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
        // configuration 1: 34 bytes in all, one interface, bus powered, 100 mA
        0x09, 0x02, 0x22, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        // interface 0: HID, no boot protocol, one endpoint
        0x09, 0x04, 0x00, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00,
        // HID 1.11, one report descriptor
        0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, std::uint8_t(reportDescriptorLength & 0xFF),
        std::uint8_t(reportDescriptorLength >> 8),
        // endpoint 0x81: interrupt IN, 64 bytes, every frame
        0x07, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01,
    };
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

constexpr const char kPreloadLibrary[] = "libumockdev-preload.so.0";

#if defined(__SANITIZE_ADDRESS__)
#define VORKAST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORKAST_ASAN 1
#endif
#endif

#ifdef VORKAST_ASAN
extern "C" void __asan_init();
#endif

// AddressSanitizer's shared runtime (GCC links it so) refuses to start unless
// it comes first in the initial library list, ahead of any preload; clang's
// static runtime lives in the program itself and needs nothing.
std::string sharedSanitizerRuntime()
{
#ifdef VORKAST_ASAN
    Dl_info runtime{};
    Dl_info program{};
    if (dladdr(reinterpret_cast<void *>(&__asan_init), &runtime) && runtime.dli_fname
        && dladdr(reinterpret_cast<void *>(&sharedSanitizerRuntime), &program)
        && runtime.dli_fbase != program.dli_fbase)
        return runtime.dli_fname;
#endif
    return {};
}

} // namespace

struct EmulatedUsbBus::Private
{
    UMockdevTestbed *testbed = nullptr;
    std::vector<std::unique_ptr<VirtualController>> controllers;
    // Every device ever added, unplugged ones too: their nodes may still be open.
    std::vector<DeviceRef> devices;

    void add(VirtualController &controller, Driver driver, Collections collections);
    // The device a controller is on now; null when it is unplugged.
    Device *current(const VirtualController &controller) const
    {
        for (const DeviceRef &device : devices) {
            if (device->controller == &controller && device->present)
                return device.get();
        }
        return nullptr;
    }
};

EmulatedUsbBus::EmulatedUsbBus()
    : d(std::make_unique<Private>())
{
    // umockdev_in_mock_environment() does not tell; the loader does.
    if (!dlopen(kPreloadLibrary, RTLD_NOW | RTLD_NOLOAD))
        qFatal("EmulatedUsbBus needs %s preloaded; call EmulatedUsbBus::ensurePreloaded first",
               kPreloadLibrary);
    d->testbed = umockdev_testbed_new();
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    for (const DeviceRef &device : d->devices) {
        umockdev_testbed_detach_ioctl(d->testbed, device->devnode.c_str(), nullptr);
        g_signal_handlers_disconnect_matched(device->handler, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(onIoctl), nullptr);
        g_signal_handlers_disconnect_matched(device->handler, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                             reinterpret_cast<gpointer>(onClientVanished),
                                             nullptr);
        g_object_unref(device->handler);
        device->handler = nullptr;
        if (device->hidrawHandler) {
            umockdev_testbed_detach_ioctl(d->testbed, device->hidrawNode.c_str(), nullptr);
            g_signal_handlers_disconnect_matched(device->hidrawHandler, G_SIGNAL_MATCH_FUNC, 0, 0,
                                                 nullptr, reinterpret_cast<gpointer>(onHidrawIoctl),
                                                 nullptr);
            g_object_unref(device->hidrawHandler);
            device->hidrawHandler = nullptr;
        }
    }
    d->devices.clear();
    g_object_unref(d->testbed);  // removes the testbed directory
}

// What the kernel's HID driver adds below a bound controller: the interface,
// the HID device on it and that device's hidraw class device with its node.
static void addHidDriver(UMockdevTestbed *testbed, const DeviceRef &device, int busnum, int port,
                         int index)
{
    // An unopenable node is one missing from /dev. Its number lies far beyond
    // the 64 hidraw minors a kernel hands out, so that an open() umockdev lets
    // through to the host's /dev cannot find a real device there.
    const bool openable = device->driver == EmulatedUsbBus::Driver::Hid;
    const int minor = openable ? index : 900 + index;
    device->hidrawNode = QString::asprintf("/dev/hidraw%d", minor).toStdString();

    const QString usbDevice =
        QString::asprintf("/sys/devices/pci0000:00/0000:00:14.0/usb%d/%d-%d", busnum, busnum, port);
    const QString interface = usbDevice + QString::asprintf("/%d-%d:1.0", busnum, port);
    const std::uint16_t productId = device->controller->productId();
    const QString hidDevice = interface
        + QString::asprintf("/0003:%04X:%04X.%04X", vorkast::protocol::CONTROLLER_VENDOR_ID,
                            productId, index + 1);
    const QString hidraw = hidDevice + QString::asprintf("/hidraw/hidraw%d", minor);
    for (const QString &path : {interface, hidDevice, hidraw})
        device->sysPaths.push_back(path.toStdString());

    GError *error = nullptr;
    if (openable) {
        // As for usbfs: someone answers before the node exists.
        device->hidrawHandler = umockdev_ioctl_base_new();
        connectShared(device->hidrawHandler, "handle-ioctl", G_CALLBACK(onHidrawIoctl), device);
        if (!umockdev_testbed_attach_ioctl(testbed, device->hidrawNode.c_str(),
                                           device->hidrawHandler, &error))
            qFatal("umockdev: cannot attach ioctl handler to %s: %s", device->hidrawNode.c_str(),
                   error ? error->message : "unknown error");
    }

    // Parents first: adding a device announces it ("add"), and a listener
    // that looks at it then must find the whole chain up to the USB device.
    const QString description =
        // USB interface 0
        QStringLiteral("P: %1\n").arg(interface.mid(4))
        + QStringLiteral("E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\n"
                         "A: bInterfaceNumber=00\\n\nA: bAlternateSetting= 0\\n\n"
                         "A: bInterfaceClass=03\\n\nA: bNumEndpoints=01\\n\n\n")
        // HID device
        + QStringLiteral("P: %1\n").arg(hidDevice.mid(4))
        + QStringLiteral("E: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n")
        + QString::asprintf("E: HID_ID=0003:%08X:%08X\n", vorkast::protocol::CONTROLLER_VENDOR_ID,
                            productId)
        + QStringLiteral("E: HID_NAME=%1\n").arg(QString::fromStdString(device->hidName))
        + QString::asprintf("E: HID_PHYS=usb-0000:00:14.0-%d/input0\n", port)
        + QString::asprintf("E: HID_UNIQ=VK%04d\n", index + 1)
        + QStringLiteral("H: report_descriptor=%1\n")
              .arg(QString::fromLatin1(device->reportDescriptor.toHex().toUpper()))
        + QStringLiteral("\n")
        // hidraw class device, with its node unless that is to be missing
        + QStringLiteral("P: %1\n").arg(hidraw.mid(4))
        + (openable ? QString::asprintf("N: hidraw%d\n", minor) : QString())
        + QStringLiteral("E: SUBSYSTEM=hidraw\n")
        + QString::asprintf("E: DEVNAME=/dev/hidraw%d\n", minor);
    if (!umockdev_testbed_add_from_string(testbed, description.toUtf8().constData(), &error))
        qFatal("umockdev: cannot add %s: %s", hidraw.toUtf8().constData(),
               error ? error->message : "unknown error");

    // The kernel links a class device to its parent as "device"; hidapi reads
    // the HID device's uevent and report descriptor through that link.
    const std::string link = std::string(umockdev_testbed_get_sys_dir(testbed))
        + hidraw.mid(4).toStdString() + "/device";
    if (::symlink("../..", link.c_str()) != 0)
        qFatal("umockdev: cannot link %s: %s", link.c_str(), std::strerror(errno));
}

void EmulatedUsbBus::Private::add(VirtualController &controller, Driver driver,
                                  Collections collections)
{
    // Like a kernel, every plug-in gets a new address (and port: the sysfs
    // path of an unplugged device may still be named by a late reader).
    const int busnum = 1;
    const int devnum = 2 + int(devices.size());  // 001 is the root hub's address
    const int port = 1 + int(devices.size());

    auto device = std::make_shared<Device>();
    device->controller = &controller;
    device->driver = driver;
    device->collections = collections;
    device->reportDescriptor = reportDescriptor(controller.kind(), collections);
    device->hidName = controller.kind() == VirtualController::Kind::Joystick
        ? "Vorkast Joystick Base"
        : "Vorkast Pedals";
    device->devnode = QString::asprintf("/dev/bus/usb/%03d/%03d", busnum, devnum).toStdString();
    device->handler = umockdev_ioctl_base_new();
    connectShared(device->handler, "handle-ioctl", G_CALLBACK(onIoctl), device);
    connectShared(device->handler, "client-vanished", G_CALLBACK(onClientVanished), device);

    // The handler goes in before the node appears, so that nobody can open a
    // node that has no one answering it.
    GError *error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, device->devnode.c_str(), device->handler,
                                       &error))
        qFatal("umockdev: cannot attach ioctl handler to %s: %s", device->devnode.c_str(),
               error ? error->message : "unknown error");

    // add_device alone creates no /dev node; a description's N: line does.
    const std::uint16_t productId = device->controller->productId();
    const QString usbDevice =
        QString::asprintf("/devices/pci0000:00/0000:00:14.0/usb%d/%d-%d", busnum, busnum, port);
    device->sysPaths.push_back("/sys" + usbDevice.toStdString());
    const QString description = QStringLiteral("P: %1\n").arg(usbDevice)
        + QString::asprintf("N: bus/usb/%03d/%03d\n", busnum, devnum)
        + QStringLiteral("E: SUBSYSTEM=usb\n"
                         "E: DEVTYPE=usb_device\n"
                         "E: DRIVER=usb\n")
        + QString::asprintf("E: DEVNAME=%s\n", device->devnode.c_str())
        + QString::asprintf("E: BUSNUM=%03d\nE: DEVNUM=%03d\n", busnum, devnum)
        + QString::asprintf("E: PRODUCT=%x/%x/100\n", vorkast::protocol::CONTROLLER_VENDOR_ID,
                            productId)
        + QString::asprintf("A: busnum=%d\\n\nA: devnum=%d\\n\n", busnum, devnum)
        + QString::asprintf("A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n",
                            vorkast::protocol::CONTROLLER_VENDOR_ID, productId)
        + QStringLiteral("A: speed=12\\n\n"
                         "A: bConfigurationValue=1\\n\n")
        + QStringLiteral("H: descriptors=%1\n")
              .arg(QString::fromLatin1(
                  descriptors(productId, std::size_t(device->reportDescriptor.size()))
                      .toHex()
                      .toUpper()));

    if (!umockdev_testbed_add_from_string(testbed, description.toUtf8().constData(), &error))
        qFatal("umockdev: cannot add %s: %s", device->devnode.c_str(),
               error ? error->message : "unknown error");

    if (driver != Driver::None) {
        int hidraws = 0;
        for (const DeviceRef &other : devices)
            hidraws += other->driver != Driver::None;
        addHidDriver(testbed, device, busnum, port, hidraws);
    }

    // umockdev announced each device as it added it, as udev would; a second
    // "add" would make wine's HID stack list the controller twice.
    devices.push_back(device);
}

VirtualController &EmulatedUsbBus::attach(VirtualController::Kind kind, Driver driver,
                                          Collections collections)
{
    d->controllers.push_back(std::make_unique<VirtualController>(kind));
    VirtualController &controller = *d->controllers.back();
    d->add(controller, driver, collections);
    return controller;
}

void EmulatedUsbBus::unplug(VirtualController &controller)
{
    Device *device = d->current(controller);
    if (!device)
        qFatal("EmulatedUsbBus::unplug: controller is not plugged in");
    // Nodes still open fail from now on, as the kernel's do.
    controller.setUnplugged(true);
    device->present = false;
    // Children first, as the kernel removes them; the uevent needs the device
    // still in sysfs.
    for (auto path = device->sysPaths.rbegin(); path != device->sysPaths.rend(); ++path) {
        umockdev_testbed_uevent(d->testbed, path->c_str(), "remove");
        umockdev_testbed_remove_device(d->testbed, path->c_str());
    }
}

void EmulatedUsbBus::plugIn(VirtualController &controller)
{
    if (d->current(controller))
        qFatal("EmulatedUsbBus::plugIn: controller is plugged in already");
    const Device *last = nullptr;
    for (const DeviceRef &device : d->devices) {
        if (device->controller == &controller)
            last = device.get();
    }
    if (!last)
        qFatal("EmulatedUsbBus::plugIn: controller is not of this bus");
    controller.setUnplugged(false);
    d->add(controller, last->driver, last->collections);
}

QByteArray EmulatedUsbBus::reportDescriptor(VirtualController::Kind kind, Collections collections)
{
    const VirtualController model(kind);
    const auto count16 = [](int count) {
        return QByteArray::fromRawData("\x96", 1) + char(count & 0xFF) + char(count >> 8);
    };
    const auto feature = [&](std::uint8_t id, int bytes, std::uint8_t usage) {
        return QByteArray("\x85") + char(id) + count16(bytes) + "\x09" + char(usage)
            + QByteArray("\xB1\x02", 2);  // Feature (Data, Var, Abs)
    };
    // The controller's feature reports, one byte each unit; usages on the vendor page.
    const QByteArray features = QByteArray::fromHex("0600ff150026ff007508")
        + feature(vorkast::protocol::kCommandReportId, vorkast::protocol::kCommandReportSize - 1, 2)
        + feature(vorkast::protocol::kEffectReportId, model.effectRecordSize(), 3)
        + feature(vorkast::protocol::kHardwareReportId, model.hardwareRecordSize(), 4)
        + feature(vorkast::protocol::kStatusReportId, 4, 5);
    // Generic Desktop, Joystick: X and Y as input report 1.
    const QByteArray joystickOpen = QByteArray::fromHex("05010904a101"
                                                        "8501050109300931150026ff00750895028102");
    const QByteArray end = QByteArray::fromHex("c0");
    const QByteArray vendor = QByteArray::fromHex("0600ff0901a101") + features + end;
    switch (collections) {
    case Collections::VendorOnly: return vendor;
    case Collections::JoystickFirst: return joystickOpen + end + vendor;
    case Collections::JoystickHoldsAll: return joystickOpen + features + end;
    case Collections::WithoutSettings: return joystickOpen + end;
    }
    return vendor;
}

EmulatedUsbBus::Traffic EmulatedUsbBus::traffic(const VirtualController &controller) const
{
    Traffic all;
    bool found = false;
    for (const DeviceRef &device : d->devices) {
        if (device->controller != &controller)
            continue;
        found = true;
        std::lock_guard lock(device->mutex);
        all.usbfsControl += device->traffic.usbfsControl;
        all.usbfsRefused += device->traffic.usbfsRefused;
        all.hidrawFeature += device->traffic.hidrawFeature;
        all.goneRequests += device->traffic.goneRequests;
        all.driverGrabs += device->traffic.driverGrabs;
    }
    if (!found)
        qFatal("EmulatedUsbBus::traffic: controller is not on this bus");
    return all;
}

QString EmulatedUsbBus::hidrawNode(const VirtualController &controller) const
{
    const Device *device = d->current(controller);
    return device ? QString::fromStdString(device->hidrawNode) : QString();
}

const char *EmulatedUsbBus::preloadLibrary()
{
    return kPreloadLibrary;
}

void EmulatedUsbBus::ensurePreloaded(int argc, char **argv)
{
    Q_UNUSED(argc);
    const char *current = std::getenv("LD_PRELOAD");
    const std::string existing = current ? current : "";
    if (existing.find(kPreloadLibrary) != std::string::npos)
        return;

    // The preload library has to be in place before the dynamic loader runs,
    // so the only way in is a fresh image of the same program.
    std::string preload = kPreloadLibrary;
    if (const std::string runtime = sharedSanitizerRuntime(); !runtime.empty())
        preload = runtime + ":" + preload;
    if (!existing.empty())
        preload += ":" + existing;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "cannot re-execute %s with %s preloaded: %s\n", argv[0],
                 kPreloadLibrary, std::strerror(errno));
    std::_Exit(127);
}
