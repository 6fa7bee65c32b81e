// The Windows build against virtual controllers through wine's own HID stack:
// wine's winebus driver finds the emulated hidraw nodes, and the cross-built
// probe (winehidprobe.exe) opens the controllers through the HID route as the
// window does on Windows. What its calls returned and what reached the
// controllers must be what the Linux build gets through usbfs, byte for byte.
//
// Run by scripts/build-windows.sh, with VORKAST_WINE_PROBE naming the probe
// and WINEPATH its DLLs; not a CTest test of the Linux build.

#include "emulatedusbbus.h"
#include "hidsession.h"
#include "libusbsession.h"
#include "protocol.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace vorkast;
using namespace vorkast::protocol;
using Kind = VirtualController::Kind;
using Driver = EmulatedUsbBus::Driver;
using Collections = EmulatedUsbBus::Collections;

namespace {

// The controller as a test leaves it: records whose first byte is 0 (the
// byte libusb's Windows backend drops), a 4-byte status whose idle answer
// goes on with non-zero bytes (which that backend would read as busy), busy
// twice after the effect write and once after the hardware write, and the
// last status read stalled.
void script(VirtualController &controller)
{
    controller.setEffectRecord(countingRecord(controller.effectRecordSize(), 0));
    controller.setHardwareRecord(QByteArray(1, '\0') + countingRecord(controller.hardwareRecordSize() - 1, 0x90));
    controller.setReplyLength(kStatusReportId, 4);
    controller.scriptStatus({1, 1, 0, 1, 0, -1});
}

// The transfers as the controller saw them; GET_REPORT's wLength apart, which
// on Windows is the collection's report length, not the caller's.
QStringList transferLog(const VirtualController &controller, QList<int> *getLengths = nullptr)
{
    QStringList log;
    for (const VirtualController::Transfer &t : controller.transfers()) {
        if (t.isGetReport() && getLengths)
            *getLengths << t.length;
        log << QString::asprintf("%02x %02x %04x %04x %s %s ", t.requestType, t.request, t.value,
                                 t.index, t.isGetReport() ? "*" : qPrintable(QString::number(t.length)),
                                 t.stalled ? "stall" : "ok")
                + QString::fromLatin1(t.data.toHex());
    }
    return log;
}

struct Reference
{
    QStringList results;
    QStringList received;
};

// The session through usbfs on Linux: what every route must match.
Reference referenceSession(Kind kind, Collections collections)
{
    EmulatedUsbBus bus;
    VirtualController &controller = bus.attach(kind, Driver::None, collections);
    script(controller);
    LibusbSession usb;
    Device *device = usb.open(controller.productId());
    if (!device)
        return {};
    Reference reference{runSession(device, controller.effectRecordSize(), controller.hardwareRecordSize()), {}};
    reference.received = transferLog(controller);
    return reference;
}

QString windowsPath(const QString &path)
{
    return QStringLiteral("Z:") + QDir::toNativeSeparators(path).replace('/', '\\');
}

} // namespace

Q_DECLARE_METATYPE(Collections)

class WineHidTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_probe;
    int m_runs = 0;

    // Runs `program` with `args` in `prefix`; its exit code, -1 when it did not end.
    static int wine(const QString &prefix, const QStringList &args, int timeoutMs = 120000)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), prefix);
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(args.first(), args.mid(1));
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitCode();
    }

    static void endSession(const QString &prefix)
    {
        wine(prefix, {QStringLiteral("wineserver"), QStringLiteral("-k")});
        wine(prefix, {QStringLiteral("wineserver"), QStringLiteral("-w")});
    }

    // One wine session on the bus as it is now: a fresh copy of the template
    // prefix, the probe, then the session's end before the bus may go.
    QStringList probe(const QStringList &args)
    {
        const QString prefix = m_work.filePath(QStringLiteral("run%1").arg(++m_runs));
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), m_work.filePath(QStringLiteral("template")), prefix}) != 0)
            return {QStringLiteral("cannot copy the template prefix")};
        const QString out = prefix + QStringLiteral("/probe.txt");
        const int status = wine(prefix, QStringList{QStringLiteral("wine"), m_probe, windowsPath(out)} + args);
        endSession(prefix);
        QFile file(out);
        if (status != 0 || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {QStringLiteral("probe exit status %1").arg(status)};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static QStringList section(const QStringList &lines, const QString &product, const QString &prefix)
    {
        QStringList out;
        bool inside = false;
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1StringView("controller ")))
                inside = line == QStringLiteral("controller ") + product;
            else if (inside && line.startsWith(prefix))
                out << line.mid(prefix.size());
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        m_probe = qEnvironmentVariable("VORKAST_WINE_PROBE");
        QVERIFY2(QFile::exists(m_probe), "VORKAST_WINE_PROBE must name winehidprobe.exe");
        QVERIFY(m_work.isValid());
        // wine's udev backend rather than SDL, which would hide hidraw devices.
        const QString prefix = m_work.filePath(QStringLiteral("template"));
        QCOMPARE(wine(prefix, {QStringLiteral("wineboot"), QStringLiteral("-i")}), 0);
        QCOMPARE(wine(prefix, {QStringLiteral("wine"), QStringLiteral("reg"), QStringLiteral("add"),
                               QStringLiteral("HKLM\\System\\CurrentControlSet\\Services\\winebus"),
                               QStringLiteral("/v"), QStringLiteral("Enable SDL"), QStringLiteral("/t"),
                               QStringLiteral("REG_DWORD"), QStringLiteral("/d"), QStringLiteral("0"),
                               QStringLiteral("/f")}),
                 0);
        endSession(prefix);
    }

    void sameSessionAsLinux_data()
    {
        QTest::addColumn<Collections>("collections");
        QTest::newRow("vendor collection") << Collections::VendorOnly;
        // Windows lists each collection as a device of its own, the axes first.
        QTest::newRow("axes collection first") << Collections::JoystickFirst;
        QTest::newRow("all in one joystick collection") << Collections::JoystickHoldsAll;
    }

    // Both controllers at once, as on a desk.
    void sameSessionAsLinux()
    {
        QFETCH(Collections, collections);
        const Reference joystickReference = referenceSession(Kind::Joystick, collections);
        const Reference pedalsReference = referenceSession(Kind::Pedals, collections);
        QVERIFY(!joystickReference.results.isEmpty());

        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid, collections);
        VirtualController &pedals = bus.attach(Kind::Pedals, Driver::Hid, collections);
        script(joystick);
        script(pedals);
        const QStringList lines = probe({QStringLiteral("session"), QStringLiteral("58bd"), QStringLiteral("5922")});

        for (auto [controller, reference] : {std::pair{&joystick, &joystickReference}, std::pair{&pedals, &pedalsReference}}) {
            const QString product = QString::asprintf("%04x", controller->productId());
            QCOMPARE(section(lines, product, QStringLiteral("problem ")), QStringList());
            QCOMPARE(section(lines, product, QStringLiteral("route ")), QStringList{QStringLiteral("hid")});
            QList<int> getLengths;
            QCOMPARE(transferLog(*controller, &getLengths), reference->received);
            QCOMPARE(section(lines, product, QStringLiteral("result ")), reference->results);
            // A GET_REPORT asks for the collection's longest feature report, id included.
            const int reportLength = controller->effectRecordSize() + 1;
            QVERIFY(!getLengths.isEmpty());
            for (int length : getLengths)
                QCOMPARE(length, reportLength);
        }
    }

    void controllerWithoutTheReportsIsNotUsed()
    {
        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid, Collections::WithoutSettings);
        const QStringList lines = probe({QStringLiteral("unusable"), QStringLiteral("58bd")});
        QCOMPARE(section(lines, QStringLiteral("58bd"), QStringLiteral("problem ")),
                 QStringList{QStringLiteral("no HID collection declares the controller's settings reports")});
        QVERIFY(joystick.transfers().isEmpty());
    }

    // A status reply 2.5 s late: the read gives up after a second, and the
    // next read, once the controller answers again, works.
    void slowControllerTimesOutInOneSecond()
    {
        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid);
        joystick.onStatusRead([](int read) {
            if (read == 0)
                QThread::msleep(2500);
        });
        const QStringList reads = section(probe({QStringLiteral("slow"), QStringLiteral("58bd")}),
                                          QStringLiteral("58bd"), QStringLiteral("read "));
        QCOMPARE(reads.size(), 2);
        const QStringList first = reads[0].split(' ');
        QCOMPARE(first[0].toInt(), int(LIBUSB_ERROR_TIMEOUT));
        QVERIFY2(first[1].toInt() >= 950 && first[1].toInt() < 1500, qPrintable(reads[0]));
        QCOMPARE(reads[1].split(' ')[0].toInt(), 1);
    }
};

VORKAST_USB_TEST_MAIN(WineHidTest)
#include "tst_winehid.moc"
