// The emulated bus as the Windows build of the tests has it, under wine: the
// bus and its controllers live in the Linux process that started wine
// (vorkast-wine-bus, with a BusService), and each member here is a call to it.
// The window's own requests take the way they take on Windows: hid.dll, wine's
// HID stack, then the bus's hidraw nodes in that process.
//
// Only the HID driver is on offer: Windows keeps its HID driver on the
// controllers, and under wine libusb finds no USB device at all.

#include "buswire.h"
#include "device.h"
#include "emulatedusbbus.h"

#include <QEventLoop>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using Kind = VirtualController::Kind;

namespace {

// How long wine's HID stack may take to bring a controller up or down, and
// how often to look meanwhile.
constexpr int kSettleMs = 20000;
constexpr int kSettlePollMs = 100;

quint16 hostPort()
{
    const quint16 port = quint16(qEnvironmentVariableIntValue(buswire::kPortVariable));
    if (port == 0)
        qFatal("%s is not set: run this program under vorkast-wine-bus", buswire::kPortVariable);
    return port;
}

QTcpSocket *connectToHost(char kind)
{
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, hostPort());
    if (!socket->waitForConnected(10000))
        qFatal("cannot reach the bus host: %s", qPrintable(socket->errorString()));
    socket->write(&kind, 1);
    return socket;
}

// A thread's connection for calls: a socket belongs to the thread that made it.
struct Calls
{
    std::unique_ptr<QTcpSocket> socket{connectToHost(buswire::kCalls)};
    QByteArray pending;

    QVariant call(const QString &method, const QVariantList &args)
    {
        socket->write(buswire::frame(QVariantList{method} + args));
        socket->waitForBytesWritten(10000);
        QVariantList reply;
        while (!buswire::takeFrame(pending, reply)) {
            if (!socket->waitForReadyRead(30000))
                qFatal("the bus host did not answer %s: %s", qPrintable(method),
                       qPrintable(socket->errorString()));
            pending += socket->readAll();
        }
        if (!reply.value(0).toBool())
            qFatal("the bus host refused %s: %s", qPrintable(method), qPrintable(reply.value(1).toString()));
        return reply.value(1);
    }
};

thread_local std::unique_ptr<Calls> t_calls;

QVariant call(const QString &method, const QVariantList &args = {})
{
    if (!t_calls)
        t_calls = std::make_unique<Calls>();
    return t_calls->call(method, args);
}

// Which host controller each local one stands for; read from the hook thread too.
std::mutex g_idsMutex;
std::map<const VirtualController *, int> g_ids;
int g_buses = 0;  // the main thread's connection goes with the last bus

int idOf(const VirtualController &controller)
{
    std::lock_guard lock(g_idsMutex);
    const auto found = g_ids.find(&controller);
    if (found == g_ids.end())
        qFatal("VirtualController: not on an emulated bus");
    return found->second;
}

QVariant callOn(const VirtualController &controller, const char *method, const QVariantList &args = {})
{
    return call(QString::fromLatin1(method), QVariantList{idOf(controller)} + args);
}

// Status-read hooks: one thread that the host asks to run them, while its
// bus thread (and so the request that read the status) waits for the answer.
class HookRunner
{
public:
    HookRunner()
    {
        std::promise<int> channel;
        m_channel = channel.get_future();
        m_thread = std::thread([this, channel = std::move(channel)]() mutable { run(channel); });
        m_channel.wait();
    }

    ~HookRunner()
    {
        m_stop = true;
        m_thread.join();
    }

    int channel()
    {
        const int channel = m_channel.get();
        if (channel < 0)
            qFatal("the bus host gave no hook channel");
        return channel;
    }

    void set(int id, std::function<void(int)> hook)
    {
        std::lock_guard lock(m_mutex);
        m_hooks[id] = std::move(hook);
    }

private:
    void run(std::promise<int> &channel)
    {
        std::unique_ptr<QTcpSocket> socket(connectToHost(buswire::kHooks));
        QByteArray pending;
        QVariantList message;
        bool announced = false;
        while (!m_stop) {
            if (!buswire::takeFrame(pending, message)) {
                if (socket->waitForReadyRead(100))
                    pending += socket->readAll();
                else if (socket->state() != QAbstractSocket::ConnectedState)
                    break;
                continue;
            }
            if (!announced) {
                channel.set_value(message.value(0).toInt());
                announced = true;
                continue;
            }
            std::function<void(int)> hook;
            {
                std::lock_guard lock(m_mutex);
                hook = m_hooks[message.value(0).toInt()];
            }
            if (hook)
                hook(message.value(1).toInt());
            socket->write(buswire::frame({}));
            socket->waitForBytesWritten(10000);
        }
        if (!announced)
            channel.set_value(-1);
        t_calls.reset();
    }

    std::shared_future<int> m_channel;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::map<int, std::function<void(int)>> m_hooks;
};

std::unique_ptr<HookRunner> g_hooks;

// Runs the event loop for `ms`: the caller's timers go on meanwhile, so a
// window's telemetry does not pause while a test waits here.
void keepRunning(int ms)
{
    QEventLoop pause;
    QTimer::singleShot(ms, &pause, &QEventLoop::quit);
    pause.exec();
}

// Until Windows lists the controller (`present`) or no longer does, as the
// window would find it. Each look runs on a thread of its own, for the same
// reason.
void settle(std::uint16_t productId, bool present)
{
    const QDeadlineTimer deadline(kSettleMs);
    for (;;) {
        auto look = std::async(std::launch::async, [productId] {
            const vorkast::OpenedController opened = vorkast::openController(productId, std::nullopt);
            return std::pair{opened.device || !opened.problem.empty(),
                             opened.device ? std::string("it opens") : opened.problem};
        });
        while (look.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            keepRunning(5);
        const auto [listed, what] = look.get();
        if (listed == present)
            return;
        if (deadline.hasExpired())
            qFatal("controller %04x did not %s under wine in %d ms (%s)", productId,
                   present ? "come up" : "go away", kSettleMs, what.c_str());
        keepRunning(kSettlePollMs);
    }
}

} // namespace

// --- VirtualController: the host's model, by id ----------------------------

VirtualController::VirtualController(Kind kind)
    : m_kind(kind)
{
}

std::uint16_t VirtualController::productId() const { return std::uint16_t(callOn(*this, "productId").toUInt()); }
int VirtualController::effectRecordSize() const { return callOn(*this, "effectRecordSize").toInt(); }
int VirtualController::hardwareRecordSize() const { return callOn(*this, "hardwareRecordSize").toInt(); }
QByteArray VirtualController::effectRecord() const { return callOn(*this, "effectRecord").toByteArray(); }
void VirtualController::setEffectRecord(const QByteArray &record) { callOn(*this, "setEffectRecord", {record}); }
QByteArray VirtualController::hardwareRecord() const { return callOn(*this, "hardwareRecord").toByteArray(); }
void VirtualController::setHardwareRecord(const QByteArray &record) { callOn(*this, "setHardwareRecord", {record}); }
void VirtualController::setStatusFails(bool fails) { callOn(*this, "setStatusFails", {fails}); }
void VirtualController::setUnplugged(bool unplugged) { callOn(*this, "setUnplugged", {unplugged}); }
bool VirtualController::unplugged() const { return callOn(*this, "unplugged").toBool(); }
void VirtualController::setBusyAfterWrite(int reads) { callOn(*this, "setBusyAfterWrite", {reads}); }
int VirtualController::dfuRequests() const { return callOn(*this, "dfuRequests").toInt(); }
void VirtualController::clearTransfers() { callOn(*this, "clearTransfers"); }

void VirtualController::scriptBusy(const QList<std::uint8_t> &flags)
{
    QVariantList wire;
    for (std::uint8_t flag : flags)
        wire << int(flag);
    callOn(*this, "scriptBusy", {QVariant(wire)});  // not {wire}: that would be the list itself
}

void VirtualController::scriptStatus(const QList<int> &answers)
{
    QVariantList wire;
    for (int answer : answers)
        wire << answer;
    callOn(*this, "scriptStatus", {QVariant(wire)});
}

void VirtualController::onStatusRead(std::function<void(int read)> hook)
{
    const int id = idOf(*this);
    if (!hook) {
        callOn(*this, "onStatusRead", {-1});
        if (g_hooks)
            g_hooks->set(id, {});
        return;
    }
    if (!g_hooks)
        g_hooks = std::make_unique<HookRunner>();
    g_hooks->set(id, std::move(hook));
    callOn(*this, "onStatusRead", {g_hooks->channel()});
}

void VirtualController::setReplyLength(std::uint8_t reportId, int length)
{
    callOn(*this, "setReplyLength", {int(reportId), length});
}

namespace {

QList<VirtualController::Transfer> transfersFrom(const QVariant &wire)
{
    QList<VirtualController::Transfer> transfers;
    for (const QVariant &transfer : wire.toList())
        transfers << buswire::transferFromWire(transfer);
    return transfers;
}

QList<QByteArray> bytesFrom(const QVariant &wire)
{
    QList<QByteArray> list;
    for (const QVariant &bytes : wire.toList())
        list << bytes.toByteArray();
    return list;
}

} // namespace

QList<VirtualController::Transfer> VirtualController::transfers() const { return transfersFrom(callOn(*this, "transfers")); }
QList<VirtualController::Transfer> VirtualController::takeTransfers() { return transfersFrom(callOn(*this, "takeTransfers")); }
QList<QByteArray> VirtualController::setReports() const { return bytesFrom(callOn(*this, "setReports")); }
QList<QByteArray> VirtualController::telemetryReports() const { return bytesFrom(callOn(*this, "telemetryReports")); }

int VirtualController::completedWrites(std::uint8_t command) const
{
    return callOn(*this, "completedWrites", {int(command)}).toInt();
}

int VirtualController::handleControl(std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint16_t,
                                     std::uint8_t *)
{
    qFatal("VirtualController::handleControl runs in the bus host, not under wine");
}

// --- EmulatedUsbBus: the controllers this object attached on the host -------

struct EmulatedUsbBus::Private
{
    std::vector<std::unique_ptr<VirtualController>> controllers;
    std::vector<bool> present;
};

EmulatedUsbBus::EmulatedUsbBus()
    : d(std::make_unique<Private>())
{
    ++g_buses;
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    for (size_t i = 0; i < d->controllers.size(); ++i) {
        VirtualController &controller = *d->controllers[i];
        controller.onStatusRead({});
        if (d->present[i])
            unplug(controller);
        std::lock_guard lock(g_idsMutex);
        g_ids.erase(&controller);
    }
    if (--g_buses == 0) {
        g_hooks.reset();
        t_calls.reset();
    }
}

QByteArray EmulatedUsbBus::reportDescriptor(VirtualController::Kind kind, Collections collections)
{
    return call(QStringLiteral("reportDescriptor"), {int(kind), int(collections)}).toByteArray();
}

VirtualController &EmulatedUsbBus::attach(VirtualController::Kind kind, Driver driver, Collections collections)
{
    if (driver != Driver::Hid)
        qFatal("EmulatedUsbBus: under wine controllers are reached through the HID driver only");
    const int id = call(QStringLiteral("attach"), {int(kind), int(driver), int(collections)}).toInt();
    auto &controller = *d->controllers.emplace_back(std::make_unique<VirtualController>(kind));
    d->present.push_back(true);
    {
        std::lock_guard lock(g_idsMutex);
        g_ids[&controller] = id;
    }
    settle(controller.productId(), true);
    return controller;
}

namespace {

template <typename Controllers>
size_t indexOf(const Controllers &controllers, const VirtualController &controller)
{
    for (size_t i = 0; i < controllers.size(); ++i)
        if (controllers[i].get() == &controller)
            return i;
    qFatal("EmulatedUsbBus: controller is not on this bus");
}

} // namespace

void EmulatedUsbBus::unplug(VirtualController &controller)
{
    d->present[indexOf(d->controllers, controller)] = false;
    callOn(controller, "unplug");
    settle(controller.productId(), false);
}

void EmulatedUsbBus::plugIn(VirtualController &controller)
{
    d->present[indexOf(d->controllers, controller)] = true;
    callOn(controller, "plugIn");
    settle(controller.productId(), true);
}

EmulatedUsbBus::Traffic EmulatedUsbBus::traffic(const VirtualController &controller) const
{
    return buswire::trafficFromWire(callOn(controller, "traffic"));
}

QString EmulatedUsbBus::hidrawNode(const VirtualController &controller) const
{
    return callOn(controller, "hidrawNode").toString();
}

const char *EmulatedUsbBus::preloadLibrary()
{
    return "";
}

void EmulatedUsbBus::ensurePreloaded(int, char **)
{
    // The host process preloads umockdev; wine's processes inherit it.
}
