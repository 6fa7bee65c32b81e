#pragma once

#include "emulatedusbbus.h"

#include <QHash>
#include <QObject>
#include <QTcpServer>

#include <memory>
#include <mutex>
#include <vector>

class QTcpSocket;

// The emulated bus offered to a test program in another process: the Windows
// build of a window test, under wine, whose HID requests reach this process's
// bus through wine's HID stack. It attaches, scripts and inspects the virtual
// controllers through calls on loopback (see buswire.h); the bytes the
// controllers receive are judged here, where they arrive.
//
// Calls are served on this object's thread; status-read hooks run the test's
// function in the test process, from umockdev's thread, which waits meanwhile.
class BusService : public QObject
{
public:
    explicit BusService(EmulatedUsbBus &bus, QObject *parent = nullptr);
    ~BusService() override;

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }

private:
    struct HookChannel
    {
        int fd = -1;
        std::mutex mutex;  // one hook at a time on a channel
    };

    void accept();
    void readFrom(QTcpSocket *socket);
    QVariantList serve(const QVariantList &call);
    VirtualController *controller(const QVariant &id, QString &why);
    void runHook(const std::shared_ptr<HookChannel> &channel, int id, int read);

    EmulatedUsbBus &m_bus;
    QTcpServer m_server;
    std::vector<VirtualController *> m_controllers;  // index: the id a test knows it by
    QHash<QTcpSocket *, QByteArray> m_pending;       // bytes short of a whole frame
    std::vector<std::shared_ptr<HookChannel>> m_hookChannels;
};
