// The window on controllers the system's HID driver holds, for each layout of
// report descriptor their firmware could have: on Linux through hidapi's
// hidraw backend, under wine through hid.dll and wine's HID stack. Each
// controller must receive exactly what the transport sent, nothing lost or
// added, and every reply must reach the window from its first byte.

#include "device.h"
#include "hidtransport.h"
#include "protocol.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

using namespace vorkast::protocol;
using Collections = EmulatedUsbBus::Collections;
using Kind = VirtualController::Kind;

namespace {

// Takes what the transport hands a route, to compare with what arrived.
class RecordingDevice : public vorkast::Device
{
public:
    QList<QByteArray> reports;

    Route route() const override { return Route::Hid; }
    std::string name() const override { return "recording"; }

protected:
    int requestFeature(std::uint8_t, std::uint8_t *, std::uint16_t) override { return -1; }
    int sendFeature(const std::uint8_t *report, std::uint16_t length) override
    {
        reports << QByteArray(reinterpret_cast<const char *>(report), length);
        return length;
    }
};

QList<QByteArray> chunkReports(std::uint8_t command, const QByteArray &record)
{
    RecordingDevice device;
    vorkast::sendChunked(&device, command, reinterpret_cast<const std::uint8_t *>(record.constData()),
                         std::uint16_t(record.size()));
    return device.reports;
}

using Transfers = QList<VirtualController::Transfer>;

QList<QByteArray> reportsWithCommand(const Transfers &transfers, std::uint8_t command)
{
    QList<QByteArray> reports;
    for (const VirtualController::Transfer &t : transfers)
        if (t.isSetReport() && t.data.size() > kCommandAt && std::uint8_t(t.data[kCommandAt]) == command)
            reports << t.data;
    return reports;
}

// GET_REPORTs in order, "1f" or "21 stall".
QStringList reads(const Transfers &transfers)
{
    QStringList ids;
    for (const VirtualController::Transfer &t : transfers)
        if (t.isGetReport())
            ids << QString::asprintf("%02x%s", t.reportId(), t.stalled ? " stall" : "");
    return ids;
}

// What reached the controller while `action` ran. Nothing is cleared: the
// telemetry check at the end sees every report since start-up.
template <typename Action>
Transfers during(const VirtualController &controller, Action action)
{
    const qsizetype before = controller.transfers().size();
    action();
    return controller.transfers().mid(before);
}

// A record the window writes back as it read it, whose first byte is 0 (a
// route that drops a leading 0 shifts it by one).
QByteArray heldRecord(bool pedals, bool hardware, int size)
{
    QByteArray record = throughForm(pedals, hardware, patterned(size, size));
    record[0] = 0;
    return record;
}

struct Save
{
    const char *slot;
    bool pedals;
    std::uint8_t command;
    const char *settings;  // as the status line names them
};

constexpr Save kSaves[] = {
    {"on_software_settings_save_clicked", false, kCommandEffectChunk, "Joystick effect settings"},
    {"on_hardware_settings_save_clicked", false, kCommandHardwareChunk, "Joystick system settings"},
    {"on_pedal_software_settings_save_clicked", true, kCommandEffectChunk, "Pedals effect settings"},
    {"on_pedal_hardware_settings_save_clicked", true, kCommandHardwareChunk, "Pedals system settings"},
};

} // namespace

Q_DECLARE_METATYPE(Collections)

class TestWindowOnHid : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;
    // Telemetry reports of the windows before: the turn lives once for the
    // process, so only its first report is sure to go to the pedals.
    qsizetype m_earlierReports = 0;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    void sessionThroughTheHidDriver_data()
    {
        QTest::addColumn<Collections>("collections");
        QTest::newRow("vendor collection") << Collections::VendorOnly;
        QTest::newRow("axes collection first") << Collections::JoystickFirst;
        QTest::newRow("all in one joystick collection") << Collections::JoystickHoldsAll;
    }

    void sessionThroughTheHidDriver()
    {
        QFETCH(Collections, collections);
        WindowRig rig(false, false);
        rig.joystick = &rig.bus.attach(Kind::Joystick, EmulatedUsbBus::Driver::Hid, collections);
        rig.pedals = &rig.bus.attach(Kind::Pedals, EmulatedUsbBus::Driver::Hid, collections);
        for (VirtualController *controller : {rig.joystick, rig.pedals}) {
            const bool pedals = controller == rig.pedals;
            controller->setEffectRecord(heldRecord(pedals, false, controller->effectRecordSize()));
            controller->setHardwareRecord(heldRecord(pedals, true, controller->hardwareRecordSize()));
            // Idle reads 00 a5 a5 a5: a route that drops the leading 0 sees busy.
            controller->setReplyLength(kStatusReportId, 4);
            controller->setBusyAfterWrite(1);
        }
        const QByteArray joystickEffect = rig.joystick->effectRecord();
        rig.start();

        // Start-up: effect then system settings, the joystick's first.
        QCOMPARE(reads(rig.joystick->transfers()), (QStringList{"1f", "20"}));
        QCOMPARE(reads(rig.pedals->transfers()), (QStringList{"1f", "20"}));
        QVERIFY(rig.joystick->transfers().last().sequence < rig.pedals->transfers().first().sequence);

        for (const Save &save : kSaves) {
            VirtualController *target = save.pedals ? rig.pedals : rig.joystick;
            const bool hardware = save.command == kCommandHardwareChunk;
            const QByteArray held = hardware ? target->hardwareRecord() : target->effectRecord();
            QElapsedTimer timer;
            timer.start();
            const Transfers sent = during(*target, [&] { rig.invoke(save.slot); });
            // Well short of the busy wait's give-up (10 s).
            QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
            QCOMPARE(rig.status(), QString::fromLatin1(save.settings) + " written and read back");
            QCOMPARE(reportsWithCommand(sent, save.command), chunkReports(save.command, held));
            const QString record = hardware ? QStringLiteral("20") : QStringLiteral("1f");
            QCOMPARE(reads(sent), (QStringList{"21", "21", record}));
            QCOMPARE((hardware ? target->hardwareRecord() : target->effectRecord()).toHex(' '), held.toHex(' '));
        }

        // A status read the controller stalls is a hiccup of the busy wait.
        rig.joystick->scriptStatus({1, -1, 0});
        const Transfers stalled = during(*rig.joystick, [&] { rig.invoke("on_software_settings_save_clicked"); });
        QCOMPARE(reads(stalled), (QStringList{"21", "21 stall", "21", "1f"}));
        QCOMPARE(rig.status(), QStringLiteral("Joystick effect settings written and read back"));
        QCOMPARE(rig.joystick->effectRecord().toHex(' '), joystickEffect.toHex(' '));

        QByteArray dfu(kCommandReportSize, '\0');
        dfu[0] = char(kCommandReportId);
        dfu[kCommandAt] = char(kCommandDfu);
        rig.invoke("on_dfu_mode_button_clicked");
        rig.invoke("on_pedal_dfu_mode_button_clicked");
        for (VirtualController *controller : {rig.joystick, rig.pedals}) {
            QCOMPARE(reportsWithCommand(controller->transfers(), kCommandDfu), QList<QByteArray>{dfu});
            QCOMPARE(controller->dfuRequests(), 1);
        }

        // Telemetry alternates, from the first tick on; the pedals' turn
        // comes first in the process.
        QTRY_VERIFY(reportsWithCommand(rig.joystick->transfers(), kCommandTelemetry).size() >= 3);
        QList<std::pair<quint64, bool>> telemetry;  // sequence, to the pedals
        for (VirtualController *controller : {rig.joystick, rig.pedals})
            for (const VirtualController::Transfer &t : controller->transfers())
                if (t.isSetReport() && t.data.size() > kCommandAt && t.data[kCommandAt] == char(kCommandTelemetry))
                    telemetry.append({t.sequence, controller == rig.pedals});
        std::sort(telemetry.begin(), telemetry.end());
        QString order;  // "PJPJ...", as they arrived
        for (const auto &[sequence, toPedals] : telemetry)
            order += toPedals ? u'P' : u'J';
        const QString turns = m_earlierReports % 2 == 0 ? QStringLiteral("PJ") : QStringLiteral("JP");
        m_earlierReports += order.size();
        QCOMPARE(order, turns.repeated(order.size()).left(order.size()));
    }
};

VORKAST_USB_TEST_MAIN(TestWindowOnHid)
#include "tst_windowonhid.moc"
