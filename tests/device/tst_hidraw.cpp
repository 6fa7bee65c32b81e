// The transport on a Linux desktop, where the kernel's HID driver holds each
// controller's interface 0: the HID route (hidapi on the interface's hidraw
// node) carries the same requests, they reach the controller byte for byte as
// through libusb, nothing is ever claimed or detached, and every transfer
// ends within its time-out.

#include "emulatedusbbus.h"
#include "hidsession.h"
#include "hidtransport.h"
#include "libusbsession.h"
#include "protocol.h"
#include "testmain.h"

#include <libusb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>
#include <QTest>

#include <sys/stat.h>

#include <array>
#include <functional>
#include <optional>

using namespace vorkast;
using namespace vorkast::protocol;
using Kind = VirtualController::Kind;
using Driver = EmulatedUsbBus::Driver;
using Collections = EmulatedUsbBus::Collections;
using Route = vorkast::Device::Route;

namespace {

std::uint16_t productIdOf(Kind kind)
{
    return kind == Kind::Joystick ? JOYSTICK_PRODUCT_ID : PEDALS_PRODUCT_ID;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System
                                                              | QDir::NoDotAndDotDot)
                   .size());
}

// openDescriptors() once it has held still for 200 ms (at most 2 s): the bus
// accepts the connection behind an opened node on its own thread, a moment
// after the open returned.
int settledDescriptors()
{
    int count = openDescriptors();
    QElapsedTimer clock;
    clock.start();
    for (int steady = 0; steady < 10 && clock.elapsed() < 2000;) {
        QTest::qWait(20);
        const int now = openDescriptors();
        steady = now == count ? steady + 1 : 0;
        count = now;
    }
    return count;
}

// How many of this process's descriptors are open on `node` ("/dev/hidraw0"),
// told by inode: the emulated node is something else underneath.
int descriptorsOn(const QString &node)
{
    struct stat target;
    if (::stat(node.toLocal8Bit().constData(), &target) != 0)
        return -1;
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat opened;
        count += ::fstat(fd.toInt(), &opened) == 0 && opened.st_dev == target.st_dev
            && opened.st_ino == target.st_ino;
    }
    return count;
}

// A transfer as the controller saw it, without its place among other controllers'.
QString describe(const VirtualController::Transfer &t)
{
    return QString::asprintf("%02x %02x %04x %04x %u %s ", t.requestType, t.request, t.value,
                             t.index, unsigned(t.length), t.stalled ? "stall" : "ok")
        + QString::fromLatin1(t.data.toHex());
}

QStringList transferLog(const VirtualController &controller)
{
    QStringList log;
    for (const VirtualController::Transfer &t : controller.transfers())
        log << describe(t);
    return log;
}

// What the caller of the transport saw and what reached the controller.
struct Session
{
    QStringList results;  // per call: result and the bytes the caller got back
    QStringList received;
    EmulatedUsbBus::Traffic traffic;
    std::optional<Route> route;  // none: not opened
};

// runSession(), then the replies the firmware may give: short, empty, stalled.
Session runController(Kind kind, Driver driver, Collections collections = Collections::VendorOnly)
{
    Session session;
    EmulatedUsbBus bus;
    VirtualController &controller = bus.attach(kind, driver, collections);
    controller.setEffectRecord(countingRecord(controller.effectRecordSize(), 1));
    controller.setHardwareRecord(countingRecord(controller.hardwareRecordSize(), 0x80));
    controller.scriptBusy({1, 1, 0, 1, 0});

    LibusbSession usb;
    if (usb.initResult() != LIBUSB_SUCCESS)
        return session;
    vorkast::Device *handle = usb.open(productIdOf(kind));
    if (!handle)
        return session;
    session.route = handle->route();

    session.results = runSession(handle, controller.effectRecordSize(), controller.hardwareRecordSize());
    const auto read = [&](std::uint8_t id) { session.results << readLine(handle, id); };

    // The replies the firmware may give besides: short, empty, stalled.
    controller.setReplyLength(kEffectReportId, 10);
    read(kEffectReportId);
    controller.setReplyLength(kHardwareReportId, 0);
    read(kHardwareReportId);
    read(0x22);  // no such report: the firmware stalls
    controller.setStatusFails(true);
    read(kStatusReportId);

    session.received = transferLog(controller);
    session.traffic = bus.traffic(controller);
    return session;
}

} // namespace

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Driver)
Q_DECLARE_METATYPE(Collections)

class HidrawTransportTest : public QObject
{
    Q_OBJECT

private slots:
    void sameRequestsAsLibusb_data();
    void sameRequestsAsLibusb();
    void emulatedKernelRefusesUsbfsToBoundInterface();
    void unusableControllerIsNotOpened_data();
    void unusableControllerIsNotOpened();
    void handlesReachOnlyTheirController_data();
    void handlesReachOnlyTheirController();
    void reopenedControllersKeepTheirRoutes();
    void slowControllerTimesOutInOneSecond();
    void goneControllerFailsAtOnce_data();
    void goneControllerFailsAtOnce();
    void noDescriptorLeak_data();
    void noDescriptorLeak();
};

void HidrawTransportTest::sameRequestsAsLibusb_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Collections>("collections");
    QTest::newRow("joystick") << Kind::Joystick << Collections::VendorOnly;
    QTest::newRow("pedals") << Kind::Pedals << Collections::VendorOnly;
    // The reports' collection is found by what it declares, not by its place.
    QTest::newRow("joystick, axes collection first") << Kind::Joystick << Collections::JoystickFirst;
    QTest::newRow("pedals, all in one joystick collection") << Kind::Pedals << Collections::JoystickHoldsAll;
}

void HidrawTransportTest::sameRequestsAsLibusb()
{
    QFETCH(Kind, kind);
    QFETCH(Collections, collections);

    const Session usbfs = runController(kind, Driver::None, collections);
    const Session hidraw = runController(kind, Driver::Hid, collections);
    QCOMPARE(usbfs.route, std::optional(Route::Libusb));
    QCOMPARE(hidraw.route, std::optional(Route::Hid));

    // The reference run went through usbfs alone, and did everything.
    QCOMPARE(usbfs.received.size(), 2 + 5 + 4 + 3 + 3 + 1 + 1 + 1 + 4);
    QCOMPARE(usbfs.traffic.usbfsControl, usbfs.received.size());
    QCOMPARE(usbfs.traffic.hidrawFeature, 0);

    // With the HID driver bound everything went through hidraw, and nothing
    // tried to take the interface from the driver.
    QCOMPARE(hidraw.traffic.usbfsControl, 0);
    QCOMPARE(hidraw.traffic.usbfsRefused, 0);
    QCOMPARE(hidraw.traffic.hidrawFeature, hidraw.received.size());
    QCOMPARE(hidraw.traffic.driverGrabs, QStringList());
    QCOMPARE(usbfs.traffic.driverGrabs, QStringList());

    // Same requests at the controller, same results and bytes for the caller.
    QCOMPARE(hidraw.received, usbfs.received);
    QCOMPARE(hidraw.results, usbfs.results);
}

// The emulated host behaves as the kernel does for a bound interface, so a
// transport that went to usbfs there could not pass the tests above.
void HidrawTransportTest::emulatedKernelRefusesUsbfsToBoundInterface()
{
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid);
    libusb_context *context = nullptr;
    QCOMPARE(libusb_init(&context), LIBUSB_SUCCESS);
    const auto exit = qScopeGuard([&] { libusb_exit(context); });
    libusb_device_handle *handle =
        libusb_open_device_with_vid_pid(context, CONTROLLER_VENDOR_ID, JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);
    const auto close = qScopeGuard([&] { libusb_close(handle); });

    QCOMPARE(libusb_kernel_driver_active(handle, 0), 1);
    std::array<std::uint8_t, kReadLength> buffer{};
    QCOMPARE(libusb_control_transfer(handle, kGetReportRequestType, kHidGetReport,
                                     kFeatureReportType | kEffectReportId, kInterface,
                                     buffer.data(), kReadLength, kTransferTimeoutMs),
             int(LIBUSB_ERROR_IO));
    QCOMPARE(libusb_claim_interface(handle, 0), int(LIBUSB_ERROR_BUSY));

    const EmulatedUsbBus::Traffic traffic = bus.traffic(joystick);
    QCOMPARE(traffic.usbfsRefused, 1);
    QCOMPARE(traffic.driverGrabs, QStringList{QStringLiteral("USBDEVFS_CLAIMINTERFACE")});
    QVERIFY(joystick.transfers().isEmpty());
}

void HidrawTransportTest::unusableControllerIsNotOpened_data()
{
    QTest::addColumn<Driver>("driver");
    QTest::addColumn<Collections>("collections");
    QTest::addColumn<QString>("problem");
    QTest::newRow("node cannot be opened") << Driver::HidNodeUnopenable << Collections::VendorOnly
                                           << QStringLiteral("no usable hidraw node");
    QTest::newRow("no collection declares the reports")
        << Driver::Hid << Collections::WithoutSettings
        << QStringLiteral("declares none of the controller's settings reports");
}

// A controller the HID driver holds but that cannot be reached through it is
// not opened at all (and says why), rather than opened on a route where every
// transfer fails; nothing reaches it, nothing is taken from the driver, and
// trying again and again leaves nothing open.
void HidrawTransportTest::unusableControllerIsNotOpened()
{
    QFETCH(Driver, driver);
    QFETCH(Collections, collections);
    QFETCH(QString, problem);

    EmulatedUsbBus bus;
    VirtualController &pedals = bus.attach(Kind::Pedals, driver, collections);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);

    QVERIFY(!usb.open(PEDALS_PRODUCT_ID));
    QVERIFY2(usb.problem().contains(problem), qPrintable(usb.problem()));
    const int descriptors = settledDescriptors();
    for (int i = 0; i < 20; ++i)
        QVERIFY(!usb.open(PEDALS_PRODUCT_ID));
    // umockdev's own open() keeps two sockets for every failed open of a node
    // missing from its /dev (a plain open() shows it), so only the other row
    // can tell a leak of ours.
    if (driver != Driver::HidNodeUnopenable)
        QTRY_COMPARE(openDescriptors(), descriptors);

    QVERIFY(pedals.transfers().isEmpty());
    const EmulatedUsbBus::Traffic traffic = bus.traffic(pedals);
    QCOMPARE(traffic.usbfsControl + traffic.usbfsRefused + traffic.hidrawFeature, 0);
    QCOMPARE(traffic.driverGrabs, QStringList());
}

void HidrawTransportTest::handlesReachOnlyTheirController_data()
{
    QTest::addColumn<Kind>("first");  // on 001/002; the other kind on 001/003
    QTest::addColumn<Driver>("firstDriver");
    QTest::addColumn<Driver>("secondDriver");

    QTest::newRow("both bound, joystick first") << Kind::Joystick << Driver::Hid << Driver::Hid;
    QTest::newRow("both bound, pedals first") << Kind::Pedals << Driver::Hid << Driver::Hid;
    QTest::newRow("joystick bound, pedals not") << Kind::Joystick << Driver::Hid << Driver::None;
    QTest::newRow("pedals not, joystick bound") << Kind::Pedals << Driver::None << Driver::Hid;
}

void HidrawTransportTest::handlesReachOnlyTheirController()
{
    QFETCH(Kind, first);
    QFETCH(Driver, firstDriver);
    QFETCH(Driver, secondDriver);
    const Kind second = first == Kind::Joystick ? Kind::Pedals : Kind::Joystick;

    EmulatedUsbBus bus;
    VirtualController &a = bus.attach(first, firstDriver);
    VirtualController &b = bus.attach(second, secondDriver);
    a.setEffectRecord(QByteArray(a.effectRecordSize(), char(0xA0)));
    b.setEffectRecord(QByteArray(b.effectRecordSize(), char(0xB0)));
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handleA = usb.open(productIdOf(first));
    vorkast::Device *handleB = usb.open(productIdOf(second));
    QVERIFY(handleA);
    QVERIFY(handleB);

    std::array<std::uint8_t, kReadLength> buffer{};
    QCOMPARE(vorkast::getReport(handleB, kEffectReportId, buffer.data(), kReadLength),
             b.effectRecordSize());
    QCOMPARE(buffer[0], 0xB0);
    QCOMPARE(vorkast::getReport(handleA, kEffectReportId, buffer.data(), kReadLength),
             a.effectRecordSize());
    QCOMPARE(buffer[0], 0xA0);
    const QByteArray hardware = countingRecord(b.hardwareRecordSize());
    QCOMPARE(sendChunked(handleB, kCommandHardwareChunk,
                         reinterpret_cast<const std::uint8_t *>(hardware.constData()),
                         std::uint16_t(hardware.size())),
             kCommandReportSize);
    QCOMPARE(sendCommand(handleA, kCommandDfu), kCommandReportSize);

    QCOMPARE(a.transfers().size(), 2);
    QCOMPARE(a.dfuRequests(), 1);
    QCOMPARE(b.transfers().size(), 4);
    QCOMPARE(b.hardwareRecord(), hardware);

    // Each went its own way: hidraw where the driver holds the interface.
    for (auto [controller, driver] : {std::pair{&a, firstDriver}, std::pair{&b, secondDriver}}) {
        const EmulatedUsbBus::Traffic traffic = bus.traffic(*controller);
        const int transfers = int(controller->transfers().size());
        QCOMPARE(traffic.hidrawFeature, driver == Driver::Hid ? transfers : 0);
        QCOMPARE(traffic.usbfsControl, driver == Driver::Hid ? 0 : transfers);
        QCOMPARE(traffic.usbfsRefused, 0);
        QCOMPARE(traffic.driverGrabs, QStringList());
    }
}

// Controllers opened and closed in turn: each open reaches its own controller
// on its own route.
void HidrawTransportTest::reopenedControllersKeepTheirRoutes()
{
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid);
    VirtualController &pedals = bus.attach(Kind::Pedals, Driver::None);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);

    for (int round = 0; round < 4; ++round) {
        const bool toJoystick = round % 2 == 0;
        vorkast::Device *handle = usb.open(toJoystick ? JOYSTICK_PRODUCT_ID : PEDALS_PRODUCT_ID);
        QVERIFY(handle);
        QCOMPARE(handle->route(), toJoystick ? Route::Hid : Route::Libusb);
        QCOMPARE(sendCommand(handle, kCommandDfu), kCommandReportSize);
        usb.close(handle);
        QCOMPARE(joystick.dfuRequests(), round / 2 + 1);
        QCOMPARE(pedals.dfuRequests(), (round + 1) / 2);
    }
    QCOMPARE(bus.traffic(joystick).hidrawFeature, 2);
    QCOMPARE(bus.traffic(joystick).usbfsRefused, 0);
    QCOMPARE(bus.traffic(pedals).usbfsControl, 2);
    QCOMPARE(bus.traffic(pedals).hidrawFeature, 0);
}

// The kernel gives a control transfer 5 s; the transport gives it 1 s, and
// a controller that answers late is heard again once it has.
void HidrawTransportTest::slowControllerTimesOutInOneSecond()
{
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);

    joystick.onStatusRead([](int read) {
        if (read == 0)
            QThread::msleep(2500);
    });
    std::array<std::uint8_t, kReadLength> buffer{};
    buffer.fill(0xCC);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(getReport(handle, kStatusReportId, buffer.data(), kReadLength),
             int(LIBUSB_ERROR_TIMEOUT));
    QVERIFY2(clock.elapsed() >= 950 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(buffer[0], 0xCC);  // the late reply never reaches the caller's buffer

    // Still answering late: the next transfer waits its own second, no more.
    clock.restart();
    QCOMPARE(sendCommand(handle, kCommandDfu), int(LIBUSB_ERROR_TIMEOUT));
    QVERIFY(clock.elapsed() < 1500);

    QTRY_COMPARE_WITH_TIMEOUT(getReport(handle, kStatusReportId, buffer.data(), kReadLength), 1, 3000);
    QCOMPARE(buffer[0], 0);
}

void HidrawTransportTest::goneControllerFailsAtOnce_data()
{
    QTest::addColumn<Driver>("driver");
    QTest::newRow("HID driver bound") << Driver::Hid;
    QTest::newRow("no driver") << Driver::None;
}

void HidrawTransportTest::goneControllerFailsAtOnce()
{
    QFETCH(Driver, driver);

    EmulatedUsbBus bus;
    VirtualController &pedals = bus.attach(Kind::Pedals, driver);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(PEDALS_PRODUCT_ID);
    QVERIFY(handle);

    pedals.setUnplugged(true);
    std::array<std::uint8_t, kReadLength> buffer{};
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(getReport(handle, kStatusReportId, buffer.data(), kReadLength),
             int(LIBUSB_ERROR_NO_DEVICE));
    QCOMPARE(sendCommand(handle, kCommandDfu), int(LIBUSB_ERROR_NO_DEVICE));
    QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(pedals.transfers().isEmpty());
}

void HidrawTransportTest::noDescriptorLeak_data()
{
    QTest::addColumn<Driver>("driver");
    QTest::newRow("HID driver bound") << Driver::Hid;
    QTest::newRow("no driver") << Driver::None;
}

// The node stays open while the handle lives (one descriptor, however many
// transfers), and goes with it.
void HidrawTransportTest::noDescriptorLeak()
{
    QFETCH(Driver, driver);

    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick, driver);
    VirtualController &pedals = bus.attach(Kind::Pedals, driver);
    const int idle = openDescriptors();
    {
        LibusbSession usb;
        QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
        vorkast::Device *handles[] = {usb.open(JOYSTICK_PRODUCT_ID), usb.open(PEDALS_PRODUCT_ID)};
        QVERIFY(handles[0]);
        QVERIFY(handles[1]);

        std::array<std::uint8_t, kReadLength> buffer{};
        for (vorkast::Device *handle : handles)
            QVERIFY(vorkast::getReport(handle, kEffectReportId, buffer.data(), kReadLength) > 0);
        const int working = settledDescriptors();

        QByteArray telemetry = QByteArray::fromHex("1e 02") + QByteArray(63, '\0');
        const QByteArray record = countingRecord(223);
        for (int i = 0; i < 100; ++i) {
            vorkast::Device *handle = handles[i % 2];
            QCOMPARE(sendReport(handle, reinterpret_cast<std::uint8_t *>(telemetry.data()),
                                kCommandReportSize),
                     kCommandReportSize);
            QVERIFY(vorkast::getReport(handle, kStatusReportId, buffer.data(), kReadLength) > 0);
            if (i % 25 == 0)
                sendChunked(handle, kCommandEffectChunk,
                            reinterpret_cast<const std::uint8_t *>(record.constData()), 176);
        }
        QTRY_COMPARE(openDescriptors(), working);
        QCOMPARE(joystick.telemetryReports().size(), 50);
        QCOMPARE(pedals.telemetryReports().size(), 50);
        for (VirtualController *controller : {&joystick, &pedals}) {
            if (driver == Driver::Hid)
                QCOMPARE(descriptorsOn(bus.hidrawNode(*controller)), 1);
        }
    }
    // The emulated nodes' far ends close on their own thread.
    QTRY_COMPARE(openDescriptors(), idle);
    for (VirtualController *controller : {&joystick, &pedals}) {
        if (driver == Driver::Hid)
            QCOMPARE(descriptorsOn(bus.hidrawNode(*controller)), 0);
    }
}

VORKAST_USB_TEST_MAIN(HidrawTransportTest)
#include "tst_hidraw.moc"
