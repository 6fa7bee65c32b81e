// Device notifications on Linux: a udev monitor on hidraw nodes and USB devices.

#include "controllerwatcher.h"

#include "protocol.h"

#include <QSocketNotifier>

#include <libudev.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vorkast {

namespace {

// Whether a USB device or a hidraw node (through its HID device) is one of the
// controllers' vendor. Read from the event itself or its live parents.
bool ofOurVendor(udev_device *device)
{
    char usbVendor[8];
    std::snprintf(usbVendor, sizeof usbVendor, "%x/", protocol::CONTROLLER_VENDOR_ID);
    char hidVendor[16];
    std::snprintf(hidVendor, sizeof hidVendor, ":%08X:", protocol::CONTROLLER_VENDOR_ID);
    if (const char *product = udev_device_get_property_value(device, "PRODUCT"))
        return std::strncmp(product, usbVendor, std::strlen(usbVendor)) == 0;
    udev_device *hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
    const char *id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
    return id && std::strstr(id, hidVendor);
}

} // namespace

struct ControllerWatcher::Platform
{
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Platform()
    {
        notifier.reset();
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};

ControllerWatcher::PlatformHandle ControllerWatcher::startWatching()
{
    // Without a udev daemon libudev's monitor hears nothing at all, silently
    // (a container, for one). umockdev's testbed sends the events itself.
    if (access("/run/udev/control", F_OK) != 0 && !qEnvironmentVariableIsSet("UMOCKDEV_DIR")) {
        qWarning("udev is not running: controllers plugged in are looked for every second");
        return nullptr;
    }
    PlatformHandle p(new Platform);
    p->context = udev_new();
    p->monitor = p->context ? udev_monitor_new_from_netlink(p->context, "udev") : nullptr;
    if (!p->monitor
        || udev_monitor_filter_add_match_subsystem_devtype(p->monitor, "hidraw", nullptr) < 0
        || udev_monitor_filter_add_match_subsystem_devtype(p->monitor, "usb", "usb_device") < 0
        || udev_monitor_enable_receiving(p->monitor) < 0) {
        qWarning("No device notifications from udev: controllers plugged in are looked for every second");
        return nullptr;
    }
    p->notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(p->monitor),
                                                    QSocketNotifier::Read);
    udev_monitor *monitor = p->monitor;
    connect(p->notifier.get(), &QSocketNotifier::activated, this, [this, monitor] {
        // Every queued event, so that the notifier does not fire again for them.
        while (udev_device *device = udev_monitor_receive_device(monitor)) {
            const char *action = udev_device_get_action(device);
            const char *node = udev_device_get_devnode(device);
            if (action && std::strcmp(action, "remove") == 0) {
                if (node)
                    emit removed(QString::fromLocal8Bit(node));
            } else if (action && ofOurVendor(device)) {
                // add, bind, and change: `udevadm trigger` after new rules may
                // have made a node that was refused usable.
                noteArrival();
            }
            udev_device_unref(device);
        }
    });
    return p;
}

void ControllerWatcher::PlatformDeleter::operator()(Platform *platform) const
{
    delete platform;
}

bool ControllerWatcher::watching() const
{
    return platform != nullptr;
}

bool ControllerWatcher::sameNode(const std::string &openedNode, const QString &removedNode)
{
    return QString::fromStdString(openedNode) == removedNode;
}

} // namespace vorkast
