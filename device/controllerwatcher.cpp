#include "controllerwatcher.h"

namespace vorkast {

ControllerWatcher::ControllerWatcher(QObject *parent)
    : QObject(parent)
{
    // A controller brings several notifications (on Linux the USB device, then
    // its hidraw node once usbhid has bound): one look once they have settled,
    // so that the route choice sees the final state.
    settle.setSingleShot(true);
    settle.setInterval(250);
    connect(&settle, &QTimer::timeout, this, &ControllerWatcher::arrived);
    platform = startWatching();
}

ControllerWatcher::~ControllerWatcher() = default;

void ControllerWatcher::noteArrival()
{
    settle.start();
}

} // namespace vorkast
