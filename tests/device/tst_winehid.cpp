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
#include "loopback.h"
#include "protocol.h"
#include "testmain.h"
#include "windowonbus.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>

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

// What the Linux build's window writes back after reading `record`.
QByteArray linuxWindowWrites(const QByteArray &record)
{
    WindowOnBus rig(true, false);
    rig.joystick->setEffectRecord(record);
    MainWindow &window = rig.start(testPorts());
    QMetaObject::invokeMethod(&window, "on_software_settings_save_clicked");
    return rig.joystick->effectRecord();
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
    // Starts `program` with `args` in `prefix`, not waiting for it.
    static void startWine(QProcess &process, const QString &prefix, const QStringList &args,
                          const QString &folder = {}, bool ownDllsOnly = false)
    {
        if (!folder.isEmpty())
            process.setWorkingDirectory(folder);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (ownDllsOnly)
            environment.remove(QStringLiteral("WINEPATH"));
        environment.insert(QStringLiteral("WINEPREFIX"), prefix);
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(args.first(), args.mid(1));
    }

    static int wine(const QString &prefix, const QStringList &args, int timeoutMs = 120000,
                    const QString &folder = {}, bool ownDllsOnly = false)
    {
        QProcess process;
        startWine(process, prefix, args, folder, ownDllsOnly);
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

    QString freshPrefix()
    {
        const QString prefix = m_work.filePath(QStringLiteral("run%1").arg(++m_runs));
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), m_work.filePath(QStringLiteral("template")), prefix}) != 0)
            return {};
        return prefix;
    }

    // One wine session on the bus as it is now: a fresh copy of the template
    // prefix, the probe, then the session's end before the bus may go.
    QStringList probe(const QStringList &args)
    {
        const QString prefix = freshPrefix();
        if (prefix.isEmpty())
            return {QStringLiteral("cannot copy the template prefix")};
        const QString out = prefix + QStringLiteral("/probe.txt");
        const int status = wine(prefix, QStringList{QStringLiteral("wine"), m_probe, windowsPath(out)} + args);
        endSession(prefix);
        QFile file(out);
        if (status != 0 || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {QStringLiteral("probe exit status %1").arg(status)};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // The packaged program, unpacked with the window probe beside it, and an
    // empty folder to start it in; empty when the environment does not name them.
    std::pair<QString, QString> stagePackage()
    {
        const QString package = qEnvironmentVariable("VORKAST_WINE_PACKAGE");
        const QString windowProbe = qEnvironmentVariable("VORKAST_WINE_WINDOW_PROBE");
        if (!QFile::exists(package + QStringLiteral("/vorkast-settings.exe")) || !QFile::exists(windowProbe)) {
            qWarning("VORKAST_WINE_PACKAGE must name the unpacked package, "
                     "VORKAST_WINE_WINDOW_PROBE vorkastprobe.dll");
            return {};
        }
        const QString app = m_work.filePath(QStringLiteral("app%1").arg(m_runs));
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), package, app}) != 0
            || !QDir(app).mkpath(QStringLiteral("generic"))
            || !QFile::copy(windowProbe, app + QStringLiteral("/generic/vorkastprobe.dll")))
            return {};
        const QString folder = m_work.filePath(QStringLiteral("folder%1").arg(m_runs));
        if (!QDir().mkpath(folder))
            return {};
        return {app, folder};
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

    // The packaged program itself (what the zip holds) on both controllers:
    // start-up reads, a write of the joystick's effect settings, DFU of the
    // pedals and telemetry, judged from what the controllers received.
    void packagedWindowOnControllers()
    {
        const auto [app, folder] = stagePackage();
        QVERIFY(!app.isEmpty());

        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid, Collections::JoystickFirst);
        VirtualController &pedals = bus.attach(Kind::Pedals, Driver::Hid);
        // Header bytes the tool never reads, the first of them 0: the write
        // must send back what the Linux build sends, header unchanged.
        const QByteArray record = QByteArray::fromHex("00112233")
            + QByteArray(joystick.effectRecordSize() - 4, '\0');
        joystick.setEffectRecord(record);
        joystick.setReplyLength(kStatusReportId, 4);  // idle: 00 a5 a5 a5
        joystick.setBusyAfterWrite(1);

        const QString prefix = freshPrefix();
        QVERIFY(!prefix.isEmpty());
        // One session for both programs, kept up in between: the window looks
        // for the controllers once, so they must be up in wine before it starts.
        wine(prefix, {QStringLiteral("wineserver"), QStringLiteral("-p")});
        const QString waited = prefix + QStringLiteral("/wait.txt");
        wine(prefix, {QStringLiteral("wine"), m_probe, windowsPath(waited), QStringLiteral("wait"),
                      QStringLiteral("58bd"), QStringLiteral("5922")});
        const QString report = prefix + QStringLiteral("/window.txt");
        const int status = wine(prefix,
                                {QStringLiteral("wine"), app + QStringLiteral("/vorkast-settings.exe"),
                                 QStringLiteral("-plugin"),
                                 QStringLiteral("vorkastprobe:") + windowsPath(report)
                                     + QStringLiteral("|on_software_settings_save_clicked,"
                                                      "on_pedal_software_settings_save_clicked,"
                                                      "on_pedal_hardware_settings_save_clicked,"
                                                      "on_pedal_dfu_mode_button_clicked")},
                                120000, folder, true);
        endSession(prefix);
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList shown = QString::fromUtf8(file.readAll()).remove('\r').split('\n', Qt::SkipEmptyParts);
        QCOMPARE(status, 0);
        QVERIFY2(shown.contains(QStringLiteral("tab: Joystick")), qPrintable(shown.join('|')));
        QVERIFY(shown.contains(QStringLiteral("tab: Pedals")));
        QVERIFY2(shown.contains(QStringLiteral("status: Pedals system settings written and read back")),
                 qPrintable(shown.join('|')));

        const QList<VirtualController::Transfer> js = joystick.transfers();
        const QList<VirtualController::Transfer> ps = pedals.transfers();
        // Start-up: effect then system settings, the joystick's before the pedals'.
        QVERIFY(js.size() >= 2 && ps.size() >= 2);
        QCOMPARE(js[0].reportId(), kEffectReportId);
        QCOMPARE(js[1].reportId(), kHardwareReportId);
        QCOMPARE(ps[0].reportId(), kEffectReportId);
        QCOMPARE(ps[1].reportId(), kHardwareReportId);
        QVERIFY(js[1].sequence < ps[0].sequence);
        // The write: five chunk reports, then status until idle (one busy
        // answer), then the read-back; the record went back as it came.
        QCOMPARE(joystick.completedWrites(kCommandEffectChunk), 1);
        QCOMPARE(joystick.effectRecord(), linuxWindowWrites(record));
        QStringList afterWrite;
        bool writing = false;
        for (const VirtualController::Transfer &t : js) {
            const bool chunk = t.isSetReport() && t.data.size() > 1 && std::uint8_t(t.data[1]) == kCommandEffectChunk;
            writing = writing || chunk;
            if (writing && (chunk || t.isGetReport()))
                afterWrite << (chunk ? QStringLiteral("chunk") : QString::asprintf("get %02x", t.reportId()));
        }
        QCOMPARE(afterWrite, (QStringList{"chunk", "chunk", "chunk", "chunk", "chunk", "get 21", "get 21", "get 1f"}));
        // The pedals' two records, each written whole (the last one said so).
        QCOMPARE(pedals.completedWrites(kCommandEffectChunk), 1);
        QCOMPARE(pedals.completedWrites(kCommandHardwareChunk), 1);
        QCOMPARE(pedals.dfuRequests(), 1);
        // Telemetry alternates, the pedals first.
        QList<std::pair<quint64, bool>> telemetry;  // sequence, to the pedals
        for (const auto &[transfers, toPedals] : {std::pair{js, false}, std::pair{ps, true}})
            for (const VirtualController::Transfer &t : transfers)
                if (t.isSetReport() && t.data.size() > 1 && std::uint8_t(t.data[1]) == kCommandTelemetry)
                    telemetry.append({t.sequence, toPedals});
        std::sort(telemetry.begin(), telemetry.end());
        QVERIFY2(telemetry.size() >= 4, qPrintable(QString::number(telemetry.size())));
        for (int i = 0; i < telemetry.size(); ++i)
            QCOMPARE(telemetry[i].second, i % 2 == 0);
    }

    // The packaged program running under wine while controllers come and go.
    // Wine's HID stack follows udev, so a controller plugged in is announced to
    // the program as on Windows, and so is one pulled out.
    void controllersPluggedInAndOutWhileRunning()
    {
        const auto [app, folder] = stagePackage();
        QVERIFY(!app.isEmpty());
        EmulatedUsbBus bus;
        VirtualController &pedals = bus.attach(Kind::Pedals, Driver::Hid);
        const QString prefix = freshPrefix();
        QVERIFY(!prefix.isEmpty());
        wine(prefix, {QStringLiteral("wineserver"), QStringLiteral("-p")});
        wine(prefix, {QStringLiteral("wine"), m_probe, windowsPath(prefix + QStringLiteral("/wait.txt")),
                      QStringLiteral("wait"), QStringLiteral("5922")});

        const QString report = prefix + QStringLiteral("/window.txt");
        QProcess program;
        startWine(program, prefix,
                  {QStringLiteral("wine"), app + QStringLiteral("/vorkast-settings.exe"), QStringLiteral("-plugin"),
                   QStringLiteral("vorkastprobe:") + windowsPath(report) + QStringLiteral("|watch")},
                  folder, true);
        const auto said = [&] {
            QFile file(report);
            return file.open(QIODevice::ReadOnly | QIODevice::Text)
                ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                : QStringList();
        };
        const auto await = [&](const QString &line) {
            return QTest::qWaitFor([&] { return said().contains(line); }, 30000);
        };
        const auto finish = qScopeGuard([&] {
            QFile(report + QStringLiteral(".stop")).open(QIODevice::WriteOnly);
            if (!program.waitForFinished(20000))
                program.kill();
            endSession(prefix);
        });

        QVERIFY2(await(QStringLiteral("tab0: Joystick (Not connected)")), qPrintable(said().join('|')));
        QVERIFY(said().contains(QStringLiteral("tab1: Pedals")));
        QVERIFY2(said().contains(QStringLiteral("watching: yes")), qPrintable(said().join('|')));
        VirtualController &joystick = bus.attach(Kind::Joystick, Driver::Hid, Collections::JoystickFirst);
        QVERIFY2(await(QStringLiteral("tab0: Joystick")), qPrintable(said().join('|')));
        QVERIFY2(await(QStringLiteral("status: Joystick connected")), qPrintable(said().join('|')));
        const QList<VirtualController::Transfer> arrival = joystick.transfers();
        QVERIFY(arrival.size() >= 2);
        QCOMPARE(arrival[0].reportId(), kEffectReportId);
        QCOMPARE(arrival[1].reportId(), kHardwareReportId);

        bus.unplug(pedals);
        QVERIFY2(await(QStringLiteral("tab1: Pedals (Not connected)")), qPrintable(said().join('|')));
        QVERIFY2(await(QStringLiteral("status: Pedals disconnected")), qPrintable(said().join('|')));
        // 0: the removal came as a notification; 1: the next transfer found it.
        qInfo("requests on the pulled-out pedals: %d", bus.traffic(pedals).goneRequests);
        QVERIFY(bus.traffic(pedals).goneRequests <= 1);
        // The joystick alone gets every other tick's telemetry from then on.
        const int before = int(joystick.telemetryReports().size());
        QTest::qWait(500);
        QVERIFY(int(joystick.telemetryReports().size()) - before >= 5);
    }
};

VORKAST_USB_TEST_MAIN(WineHidTest)
#include "tst_winehid.moc"
