// Device notifications on Windows: WM_DEVICECHANGE for HID and USB device
// interfaces. The message is sent to a window, never posted, so it is seen
// where Qt's window procedure runs the native event filters; a hidden window
// of our own keeps the watcher independent of the application's windows.

#include "controllerwatcher.h"

#include "protocol.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QWindow>

#include <windows.h>
// dbt.h and hidsdi.h need windows.h first.
#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}

#include <cstdio>
#include <vector>

namespace vorkast {

namespace {

// What a WinUSB-driven controller (the libusb route) announces itself as.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2,
                                      {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

bool ofOurVendor(const QString &path)
{
    char vendor[16];
    std::snprintf(vendor, sizeof vendor, "VID_%04X", protocol::CONTROLLER_VENDOR_ID);
    return path.contains(QLatin1StringView(vendor), Qt::CaseInsensitive);
}

} // namespace

struct ControllerWatcher::Platform : QAbstractNativeEventFilter
{
    ControllerWatcher *watcher = nullptr;
    QWindow window;
    HWND hwnd = nullptr;
    std::vector<HDEVNOTIFY> registrations;

    ~Platform() override
    {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        for (HDEVNOTIFY registration : registrations)
            UnregisterDeviceNotification(registration);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->hwnd != hwnd || msg->message != WM_DEVICECHANGE || !msg->lParam)
            return false;
        const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(msg->lParam);
        if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
            return false;
        const auto *interface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header);
        const QString path = QString::fromWCharArray(interface->dbcc_name);
        if (msg->wParam == DBT_DEVICEREMOVECOMPLETE)
            emit watcher->removed(path);
        else if (msg->wParam == DBT_DEVICEARRIVAL && ofOurVendor(path))
            watcher->noteArrival();
        return false;  // others may want it too
    }
};

ControllerWatcher::PlatformHandle ControllerWatcher::startWatching()
{
    PlatformHandle p(new Platform);
    p->watcher = this;
    p->hwnd = reinterpret_cast<HWND>(p->window.winId());
    QCoreApplication::instance()->installNativeEventFilter(p.get());
    GUID hidInterface;
    HidD_GetHidGuid(&hidInterface);
    for (const GUID &guid : {hidInterface, kUsbDeviceInterface}) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = guid;
        if (HDEVNOTIFY registration =
                RegisterDeviceNotificationW(p->hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE))
            p->registrations.push_back(registration);
    }
    if (p->registrations.empty()) {
        qWarning("No device notifications from Windows (error %lu): controllers plugged in are "
                 "looked for every second",
                 GetLastError());
        return nullptr;
    }
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
    // The same interface path may come back in another case.
    return QString::fromStdString(openedNode).compare(removedNode, Qt::CaseInsensitive) == 0;
}

} // namespace vorkast
