#include "busservice.h"

#include "buswire.h"

#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

using Kind = VirtualController::Kind;

namespace {

using ControllerCall = std::function<QVariant(VirtualController &, const QVariantList &)>;

template <typename T>
QList<T> listOf(const QVariant &wire)
{
    QList<T> values;
    for (const QVariant &value : wire.toList())
        values << T(value.toInt());
    return values;
}

QVariant transfersToWire(const QList<VirtualController::Transfer> &transfers)
{
    QVariantList wire;
    for (const VirtualController::Transfer &t : transfers)
        wire << buswire::toWire(t);
    return wire;
}

QVariant bytesToWire(const QList<QByteArray> &list)
{
    QVariantList wire;
    for (const QByteArray &bytes : list)
        wire << bytes;
    return wire;
}

// The controller's members a test may call, by name; arguments after the id.
const QHash<QString, ControllerCall> &controllerCalls()
{
    using C = VirtualController;
    using A = QVariantList;
    static const QHash<QString, ControllerCall> calls{
        {"productId", [](C &c, const A &) { return QVariant(c.productId()); }},
        {"effectRecordSize", [](C &c, const A &) { return QVariant(c.effectRecordSize()); }},
        {"hardwareRecordSize", [](C &c, const A &) { return QVariant(c.hardwareRecordSize()); }},
        {"effectRecord", [](C &c, const A &) { return QVariant(c.effectRecord()); }},
        {"setEffectRecord", [](C &c, const A &a) { c.setEffectRecord(a.value(0).toByteArray()); return QVariant(); }},
        {"hardwareRecord", [](C &c, const A &) { return QVariant(c.hardwareRecord()); }},
        {"setHardwareRecord", [](C &c, const A &a) { c.setHardwareRecord(a.value(0).toByteArray()); return QVariant(); }},
        {"scriptBusy", [](C &c, const A &a) { c.scriptBusy(listOf<std::uint8_t>(a.value(0))); return QVariant(); }},
        {"scriptStatus", [](C &c, const A &a) { c.scriptStatus(listOf<int>(a.value(0))); return QVariant(); }},
        {"setStatusFails", [](C &c, const A &a) { c.setStatusFails(a.value(0).toBool()); return QVariant(); }},
        {"setUnplugged", [](C &c, const A &a) { c.setUnplugged(a.value(0).toBool()); return QVariant(); }},
        {"unplugged", [](C &c, const A &) { return QVariant(c.unplugged()); }},
        {"setBusyAfterWrite", [](C &c, const A &a) { c.setBusyAfterWrite(a.value(0).toInt()); return QVariant(); }},
        {"setReplyLength", [](C &c, const A &a) {
             c.setReplyLength(std::uint8_t(a.value(0).toUInt()), a.value(1).toInt());
             return QVariant();
         }},
        {"transfers", [](C &c, const A &) { return transfersToWire(c.transfers()); }},
        {"takeTransfers", [](C &c, const A &) { return transfersToWire(c.takeTransfers()); }},
        {"clearTransfers", [](C &c, const A &) { c.clearTransfers(); return QVariant(); }},
        {"setReports", [](C &c, const A &) { return bytesToWire(c.setReports()); }},
        {"telemetryReports", [](C &c, const A &) { return bytesToWire(c.telemetryReports()); }},
        {"dfuRequests", [](C &c, const A &) { return QVariant(c.dfuRequests()); }},
        {"completedWrites", [](C &c, const A &a) {
             return QVariant(c.completedWrites(std::uint8_t(a.value(0).toUInt())));
         }},
    };
    return calls;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        // A test program that has gone is a failed hook, not a SIGPIPE.
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool readFrame(int fd, QVariantList &message)
{
    QByteArray buffer;
    char chunk[4096];
    while (!buswire::takeFrame(buffer, message)) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(chunk, n);
    }
    return true;
}

} // namespace

BusService::BusService(EmulatedUsbBus &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    connect(&m_server, &QTcpServer::newConnection, this, &BusService::accept);
    m_server.listen(QHostAddress::LocalHost);
}

BusService::~BusService()
{
    for (VirtualController *controller : m_controllers)
        controller->onStatusRead({});
    for (const auto &channel : m_hookChannels) {
        std::lock_guard lock(channel->mutex);
        ::close(channel->fd);
        channel->fd = -1;
    }
}

void BusService::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void BusService::readFrom(QTcpSocket *socket)
{
    QByteArray &pending = m_pending[socket];
    const bool opened = !pending.isEmpty() || socket->property("calls").toBool();
    pending += socket->readAll();
    if (!opened && !pending.isEmpty()) {
        const char kind = pending[0];
        pending.remove(0, 1);
        if (kind == buswire::kHooks) {
            // The hook channel is the bus thread's from now on, in blocking
            // reads and writes; Qt must no longer read it.
            auto channel = std::make_shared<HookChannel>();
            socket->write(buswire::frame({int(m_hookChannels.size())}));
            socket->waitForBytesWritten(5000);
            channel->fd = ::dup(int(socket->socketDescriptor()));
            ::fcntl(channel->fd, F_SETFL, ::fcntl(channel->fd, F_GETFL) & ~O_NONBLOCK);
            m_hookChannels.push_back(channel);
            m_pending.remove(socket);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
        if (kind != buswire::kCalls) {
            socket->abort();
            return;
        }
        socket->setProperty("calls", true);
    }
    QVariantList call;
    while (buswire::takeFrame(pending, call))
        socket->write(buswire::frame(serve(call)));
}

VirtualController *BusService::controller(const QVariant &id, QString &why)
{
    bool ok = false;
    const int index = id.toInt(&ok);
    if (!ok || index < 0 || index >= int(m_controllers.size())) {
        why = QStringLiteral("no controller %1").arg(id.toString());
        return nullptr;
    }
    return m_controllers[size_t(index)];
}

QVariantList BusService::serve(const QVariantList &call)
{
    const QString method = call.value(0).toString();
    const QVariantList args = call.mid(1);
    QString why;
    if (method == QLatin1StringView("attach")) {
        using Driver = EmulatedUsbBus::Driver;
        using Collections = EmulatedUsbBus::Collections;
        VirtualController &attached = m_bus.attach(Kind(args.value(0).toInt()), Driver(args.value(1).toInt()),
                                                   Collections(args.value(2).toInt()));
        m_controllers.push_back(&attached);
        return {true, int(m_controllers.size() - 1)};
    }
    if (method == QLatin1StringView("reportDescriptor"))
        return {true, EmulatedUsbBus::reportDescriptor(Kind(args.value(0).toInt()),
                                                      EmulatedUsbBus::Collections(args.value(1).toInt()))};

    VirtualController *target = controller(args.value(0), why);
    if (!target)
        return {false, why};
    const QVariantList rest = args.mid(1);
    if (method == QLatin1StringView("unplug")) {
        m_bus.unplug(*target);
        return {true, {}};
    }
    if (method == QLatin1StringView("plugIn")) {
        m_bus.plugIn(*target);
        return {true, {}};
    }
    if (method == QLatin1StringView("traffic"))
        return {true, buswire::toWire(m_bus.traffic(*target))};
    if (method == QLatin1StringView("hidrawNode"))
        return {true, m_bus.hidrawNode(*target)};
    if (method == QLatin1StringView("onStatusRead")) {
        const int index = rest.value(0).toInt();
        if (index < 0) {
            target->onStatusRead({});
            return {true, {}};
        }
        if (index >= int(m_hookChannels.size()))
            return {false, QStringLiteral("no hook channel %1").arg(index)};
        const int id = args.value(0).toInt();
        target->onStatusRead([this, channel = m_hookChannels[size_t(index)], id](int read) {
            runHook(channel, id, read);
        });
        return {true, {}};
    }
    const auto found = controllerCalls().constFind(method);
    if (found == controllerCalls().cend())
        return {false, QStringLiteral("no call %1").arg(method)};
    return {true, (*found)(*target, rest)};
}

void BusService::runHook(const std::shared_ptr<HookChannel> &channel, int id, int read)
{
    std::lock_guard lock(channel->mutex);
    QVariantList done;
    if (channel->fd < 0 || !writeAll(channel->fd, buswire::frame({id, read})) || !readFrame(channel->fd, done))
        qWarning("BusService: the test program did not run its status-read hook");
}
