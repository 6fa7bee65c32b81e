#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

namespace vorkast {

// Tells when a controller may have been plugged in or pulled out, from the
// system's own device notifications: udev on Linux (hidraw nodes and USB
// devices), WM_DEVICECHANGE on Windows (HID and USB device interfaces, seen
// through a native event filter on a hidden window of its own). Costs nothing
// while nothing is plugged in or out.
class ControllerWatcher : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool watching READ watching CONSTANT)

public:
    explicit ControllerWatcher(QObject *parent = nullptr);
    ~ControllerWatcher() override;

    // False when the system gave no notifications to listen to: then whoever
    // waits for a controller has to look for it now and then.
    bool watching() const;

    // Whether `removedNode`, as removed() names it, is the node a device was
    // opened on (Device::name()).
    static bool sameNode(const std::string &openedNode, const QString &removedNode);

signals:
    // A device of the controllers' vendor came; once per burst of
    // notifications (a controller brings several), when the burst is over and
    // the system has had time to ready its nodes.
    void arrived();
    // A device node went away: a hidraw or usbfs node, or a Windows interface path.
    void removed(const QString &node);

private:
    struct Platform;
    // Defined with Platform, in each platform's source.
    struct PlatformDeleter
    {
        void operator()(Platform *platform) const;
    };
    using PlatformHandle = std::unique_ptr<Platform, PlatformDeleter>;
    // The system's side; null when it gives no notifications. Per platform.
    PlatformHandle startWatching();
    void noteArrival();

    QTimer settle;
    PlatformHandle platform;
};

} // namespace vorkast
