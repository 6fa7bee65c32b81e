#include "virtualhardware.h"

#include "protocol.h"
#include "settingsmapping.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QMainWindow>

using namespace vorkast::protocol;

namespace {

constexpr int kCollectIntervalMs = 100;
constexpr int kTerminateGraceMs = 5000;

const char *const kNames[] = {"Joystick", "Pedals"};

template <typename Record>
QByteArray bytesOf(const Record &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

} // namespace

VirtualHardware::VirtualHardware(EmulatedUsbBus::Driver driver, QObject *parent)
    : QObject(parent)
{
    controllers[0] = &bus.attach(VirtualController::Kind::Joystick, driver);
    controllers[1] = &bus.attach(VirtualController::Kind::Pedals, driver);
    for (VirtualController *controller : controllers)
        controller->setBusyAfterWrite(kBusyReadsAfterWrite);
    holdFormDefaults();

    application.setProcessChannelMode(QProcess::ForwardedChannels);
    connect(&application, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                killer.stop();
                collect();
                // On Unix a crashed program's exit code is the signal that ended it.
                emit finished(status == QProcess::NormalExit ? exitCode : 128 + exitCode);
            });
    connect(&application, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        emit message(QStringLiteral("cannot start %1: %2")
                         .arg(application.program(), application.errorString()));
        emit finished(127);
    });

    collector.setInterval(kCollectIntervalMs);
    connect(&collector, &QTimer::timeout, this, qOverload<>(&VirtualHardware::collect));
    collector.start();

    killer.setSingleShot(true);
    killer.setInterval(kTerminateGraceMs);
    connect(&killer, &QTimer::timeout, &application, &QProcess::kill);
}

VirtualHardware::~VirtualHardware()
{
    // The program must let go of the device nodes before the bus removes them.
    if (running()) {
        application.kill();
        application.waitForFinished(kTerminateGraceMs);
    }
}

// What the tool itself writes from the form's default values, so that a
// newcomer sees sensible settings rather than zeros.
void VirtualHardware::holdFormDefaults()
{
    QMainWindow form;
    Ui::MainWindow ui;
    ui.setupUi(&form);
    const vorkast::settings::SettingsControls controls(&form);
    JoystickSoftwareSettings joystickEffects{};
    JoystickHardwareSettings joystickSystem{};
    PedalsSoftwareSettings pedalsEffects{};
    PedalsHardwareSettings pedalsSystem{};
    controls.store(joystickEffects);
    controls.store(joystickSystem);
    controls.store(pedalsEffects);
    controls.store(pedalsSystem);
    controllers[0]->setEffectRecord(bytesOf(joystickEffects));
    controllers[0]->setHardwareRecord(bytesOf(joystickSystem));
    controllers[1]->setEffectRecord(bytesOf(pedalsEffects));
    controllers[1]->setHardwareRecord(bytesOf(pedalsSystem));
}

void VirtualHardware::start(const QString &program, const QStringList &arguments)
{
    programName = QFileInfo(program).fileName();
    application.start(program, arguments);
}

void VirtualHardware::terminate()
{
    if (!running())
        return;
    application.terminate();
    killer.start();
}

QString VirtualHardware::summary()
{
    QString text;
    for (int index = 0; index < 2; ++index) {
        const Counts c = counts(index);
        text += QStringLiteral("%1: %2 settings reads, %3 effect and %4 system settings writes, "
                               "%5 telemetry reports (%6 valid), %7 DFU requests\n")
                    .arg(QLatin1String(kNames[index]))
                    .arg(c.settingsReads)
                    .arg(c.effectWrites)
                    .arg(c.systemWrites)
                    .arg(c.telemetryReports)
                    .arg(c.validTelemetryReports)
                    .arg(c.dfuRequests);
    }
    return text;
}

VirtualHardware::Counts VirtualHardware::counts(int index)
{
    collect(index);
    return seen[index].counts;
}

void VirtualHardware::collect()
{
    collect(0);
    collect(1);
}

void VirtualHardware::collect(int index)
{
    VirtualController &controller = *controllers[index];
    Seen &s = seen[index];
    const QString name = QLatin1String(kNames[index]);

    for (const VirtualController::Transfer &transfer : controller.takeTransfers()) {
        if (transfer.stalled)
            continue;
        if (transfer.isGetReport()) {
            const bool effect = transfer.reportId() == kEffectReportId;
            const bool system = transfer.reportId() == kHardwareReportId;
            s.counts.settingsReads += effect || system;
            s.effectRead |= effect;
            s.systemRead |= system;
        } else if (transfer.isSetReport() && transfer.data.size() > 2) {
            const auto command = std::uint8_t(transfer.data[1]);
            if (command == kCommandTelemetry) {
                // Byte 2 is the packet's flags, bit 0 "valid".
                const bool valid = transfer.data[2] & 0x01;
                ++s.counts.telemetryReports;
                s.counts.validTelemetryReports += valid;
                if (valid != s.telemetryValid) {
                    s.telemetryValid = valid;
                    emit message(valid ? name + QStringLiteral(": telemetry valid")
                                       : name + QStringLiteral(": telemetry not valid"));
                }
            } else if (command == kCommandDfu) {
                ++s.counts.dfuRequests;
                emit message(name + QStringLiteral(": DFU mode requested (a virtual "
                                                   "controller stays as it is)"));
            }
        }
    }

    // Only a program that found the controller reads both of its records.
    if (!s.announced && s.effectRead && s.systemRead) {
        s.announced = true;
        emit message(QStringLiteral("%1: connected, %2 read its settings")
                         .arg(name, programName.isEmpty() ? QStringLiteral("the program")
                                                          : programName));
    }

    const int effectWrites = controller.completedWrites(kCommandEffectChunk);
    const int systemWrites = controller.completedWrites(kCommandHardwareChunk);
    if (effectWrites > s.counts.effectWrites)
        emit message(name + QStringLiteral(": effect settings written and kept"));
    if (systemWrites > s.counts.systemWrites)
        emit message(name + QStringLiteral(": system settings written and kept"));
    s.counts.effectWrites = effectWrites;
    s.counts.systemWrites = systemWrites;
}
