#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "curveaxis.h"
#include "curvedialog.h"
#include "hidtransport.h"
#include "profilestore.h"
#include "protocol.h"
#include "settingsmapping.h"
#include "telemetryhandler.h"
#include "telemetryview.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>
#include <QThread>

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

using namespace vorkast;
using namespace vorkast::protocol;

namespace {

constexpr unsigned long kBusyPollIntervalMs = 100;
// A controller storing its settings may stay busy for a few seconds, but a
// vanished or wedged one must never hang the window.
constexpr int kMaxBusyPolls = 100;
constexpr int kMaxFailedStatusReads = 3;

// Telemetry forwarding state lives once for the process, not per window.
std::uint16_t invalidTelemetryCount = 0;
std::uint8_t telemetryTarget = 0;  // 0: pedals next, 1: joystick next

constexpr int kMessageMs = 5000;
constexpr int kStatusRefreshMs = 500;  // the indicator counts per half second
// The telemetry sources as the indicator names them, in the order of the
// window's source list; any other mode gives the debug source.
constexpr std::array<const char *, 5> kSourceNames{"DCS", "War Thunder", "MSFS", "IL-2", "Debug"};

// Replaces the record's leading bytes with those of the reply that arrived;
// the rest of the record, and the whole record on failure, stays as it was.
// False when nothing arrived.
bool readRecord(libusb_device_handle *device, std::uint8_t reportId, void *record,
                std::size_t size)
{
    std::array<std::uint8_t, kReadLength> reply{};
    const int received = getReport(device, reportId, reply.data(), kReadLength);
    if (received > 0)
        std::memcpy(record, reply.data(), std::min<std::size_t>(size, std::size_t(received)));
    return received > 0;
}

} // namespace

MainWindow::MainWindow(QWidget *parent, TelemetryPorts ports)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , joystickSoftwareSettings{}
    , joystickHardwareSettings{}
    , deviceBusy(0)
    , pedalsSoftwareSettings{}
    , pedalsHardwareSettings{}
    , joystickDevice(nullptr)
    , pedalsDevice(nullptr)
    , telemetryPacket{}
    , telemetryHandler(nullptr)
{
    ui->setupUi(this);
    statusBar()->setObjectName(QStringLiteral("statusbar"));
    telemetryStatus = new QLabel(this);
    telemetryStatus->setObjectName(QStringLiteral("telemetry_status"));
    statusBar()->addPermanentWidget(telemetryStatus);
    telemetryHandler = new TelemetryHandler(ui, ports);

    profilesDir = QDir(QDir::currentPath());
    profilesDir.mkdir(QStringLiteral("profiles"));
    profilesUsable = profilesDir.cd(QStringLiteral("profiles"));
    if (!profilesUsable)
        qWarning() << "No profiles folder in" << profilesDir.path() << "- profiles are disabled";

    // Without a libusb context there is nothing to open: both controllers are absent.
    if (libusb_init(nullptr) == LIBUSB_SUCCESS) {
        joystickDevice = libusb_open_device_with_vid_pid(nullptr, CONTROLLER_VENDOR_ID,
                                                         JOYSTICK_PRODUCT_ID);
        pedalsDevice = libusb_open_device_with_vid_pid(nullptr, CONTROLLER_VENDOR_ID,
                                                       PEDALS_PRODUCT_ID);
    }
    updateJoystickStatus();
    updatePedalsStatus();

    // The source's complaints reach the user; it already warns on stderr itself.
    connect(telemetryHandler, &TelemetryHandler::sourceProblem, this, &MainWindow::tell);
    telemetryHandler->setMode(TelemetryHandler::Dcs);
    connect(telemetryHandler, &TelemetryHandler::telemetryUpdate, this,
            &MainWindow::telemetryReceived);
    connect(&telemetryStatusTimer, &QTimer::timeout, this, &MainWindow::refreshTelemetryStatus);
    telemetryStatusTimer.start(kStatusRefreshMs);
    refreshTelemetryStatus();

    readProfiles();
}

MainWindow::~MainWindow()
{
    delete ui;
    closeDevice(joystickDevice);
    closeDevice(pedalsDevice);
    libusb_exit(nullptr);
    // Last, so the source's sockets and simulator connection close cleanly at exit.
    delete telemetryHandler;
}

void MainWindow::updateJoystickStatus()
{
    if (joystickDevice) {
        on_software_settings_read_clicked();
        on_hardware_settings_read_clicked();
    } else {
        ui->main_tabplane->setTabText(0, QStringLiteral("Joystick (Not connected)"));
    }
}

void MainWindow::updatePedalsStatus()
{
    if (pedalsDevice) {
        on_pedal_software_settings_read_clicked();
        on_pedal_hardware_settings_read_clicked();
    } else {
        ui->main_tabplane->setTabText(1, QStringLiteral("Pedals (Not connected)"));
    }
}

void MainWindow::on_dfu_mode_button_clicked()
{
    sendCommand(joystickDevice, kCommandDfu);
}

void MainWindow::on_pedal_dfu_mode_button_clicked()
{
    sendCommand(pedalsDevice, kCommandDfu);
}

struct MainWindow::RecordPlace
{
    libusb_device_handle *device;
    std::uint8_t reportId;  // read
    std::uint8_t command;   // written in chunks
    void *bytes;
    std::size_t size;
    void (MainWindow::*show)();
    void (MainWindow::*take)();
    const char *name;
};

MainWindow::RecordPlace MainWindow::place(SettingsRecord which)
{
    switch (which) {
    case SettingsRecord::JoystickEffects:
        return {joystickDevice, kEffectReportId, kCommandEffectChunk, &joystickSoftwareSettings,
                sizeof joystickSoftwareSettings, &MainWindow::joystickSoftwareSettingsToUI,
                &MainWindow::uiToJoystickSoftwareSettings, "Joystick effect settings"};
    case SettingsRecord::JoystickSystem:
        return {joystickDevice, kHardwareReportId, kCommandHardwareChunk, &joystickHardwareSettings,
                sizeof joystickHardwareSettings, &MainWindow::joystickHardwareSettingsToUI,
                &MainWindow::uiToJoystickHardwareSettings, "Joystick system settings"};
    case SettingsRecord::PedalsEffects:
        return {pedalsDevice, kEffectReportId, kCommandEffectChunk, &pedalsSoftwareSettings,
                sizeof pedalsSoftwareSettings, &MainWindow::pedalsSoftwareSettingsToUI,
                &MainWindow::uiToPedalsSoftwareSettings, "Pedals effect settings"};
    case SettingsRecord::PedalsSystem:
        return {pedalsDevice, kHardwareReportId, kCommandHardwareChunk, &pedalsHardwareSettings,
                sizeof pedalsHardwareSettings, &MainWindow::pedalsHardwareSettingsToUI,
                &MainWindow::uiToPedalsHardwareSettings, "Pedals system settings"};
    }
    Q_UNREACHABLE();
}

bool MainWindow::readSettings(SettingsRecord which)
{
    const RecordPlace record = place(which);
    const bool answered = readRecord(record.device, record.reportId, record.bytes, record.size);
    (this->*record.show)();
    if (!record.device)
        return false;  // the tab already says "(Not connected)"
    if (answered)
        tell(QStringLiteral("%1 read").arg(QLatin1StringView(record.name)));
    else
        warn(QStringLiteral("%1 not read: the controller did not answer")
                 .arg(QLatin1StringView(record.name)));
    return answered;
}

void MainWindow::writeSettings(SettingsRecord which)
{
    const RecordPlace record = place(which);
    (this->*record.take)();
    const bool sent = sendChunked(record.device, record.command,
                                  static_cast<const std::uint8_t *>(record.bytes),
                                  static_cast<std::uint16_t>(record.size))
        >= 0;
    const bool stored = awaitDeviceNotBusy(record.device);
    const bool readBack = readSettings(which);
    const auto name = QLatin1StringView(record.name);
    if (!record.device)
        tell(QStringLiteral("%1 not written: the controller is not connected").arg(name));
    else if (sent && stored && readBack)
        tell(QStringLiteral("%1 written and read back").arg(name));
    else
        warn(QStringLiteral("%1 may not be stored: the controller did not answer").arg(name));
}

void MainWindow::on_software_settings_read_clicked()
{
    readSettings(SettingsRecord::JoystickEffects);
}

void MainWindow::on_hardware_settings_read_clicked()
{
    readSettings(SettingsRecord::JoystickSystem);
}

void MainWindow::on_pedal_software_settings_read_clicked()
{
    readSettings(SettingsRecord::PedalsEffects);
}

void MainWindow::on_pedal_hardware_settings_read_clicked()
{
    readSettings(SettingsRecord::PedalsSystem);
}

void MainWindow::on_software_settings_save_clicked()
{
    writeSettings(SettingsRecord::JoystickEffects);
}

void MainWindow::on_hardware_settings_save_clicked()
{
    writeSettings(SettingsRecord::JoystickSystem);
}

void MainWindow::on_pedal_software_settings_save_clicked()
{
    writeSettings(SettingsRecord::PedalsEffects);
}

void MainWindow::on_pedal_hardware_settings_save_clicked()
{
    writeSettings(SettingsRecord::PedalsSystem);
}

void MainWindow::tell(const QString &message)
{
    statusBar()->showMessage(message, kMessageMs);
}

void MainWindow::warn(const QString &message)
{
    qWarning().noquote() << message;
    tell(message);
}

bool MainWindow::awaitDeviceNotBusy(libusb_device_handle *device)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    int failedReads = 0;
    for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
        if (device) {
            std::array<std::uint8_t, kReadLength> status{};
            if (getReport(device, kStatusReportId, status.data(), kReadLength) > 0) {
                deviceBusy = status[0];
                failedReads = 0;
            } else {
                ++failedReads;
            }
        }
        // Deliberately blocking: nothing else may talk to a controller while it
        // stores its settings.
        QThread::msleep(kBusyPollIntervalMs);
        if (deviceBusy == 0 || failedReads >= kMaxFailedStatusReads)
            break;
    }
    const bool settled = deviceBusy == 0 && failedReads < kMaxFailedStatusReads;
    // An abandoned wait must not leave the shared flag set for the next one.
    deviceBusy = 0;
    QGuiApplication::restoreOverrideCursor();
    return settled;
}

void MainWindow::joystickSoftwareSettingsToUI()
{
    settings::showJoystickEffects(joystickSoftwareSettings, this);
}

void MainWindow::uiToJoystickSoftwareSettings()
{
    settings::storeJoystickEffects(joystickSoftwareSettings, this);
}

void MainWindow::joystickHardwareSettingsToUI()
{
    settings::showJoystickHardware(joystickHardwareSettings, this);
}

void MainWindow::uiToJoystickHardwareSettings()
{
    settings::storeJoystickHardware(joystickHardwareSettings, this);
}

void MainWindow::pedalsSoftwareSettingsToUI()
{
    settings::showPedalsEffects(pedalsSoftwareSettings, this);
}

void MainWindow::uiToPedalsSoftwareSettings()
{
    settings::storePedalsEffects(pedalsSoftwareSettings, this);
}

void MainWindow::pedalsHardwareSettingsToUI()
{
    settings::showPedalsHardware(pedalsHardwareSettings, this);
}

void MainWindow::uiToPedalsHardwareSettings()
{
    settings::storePedalsHardware(pedalsHardwareSettings, this);
}

void MainWindow::on_telemetryMode_activated(int index)
{
    telemetryMode = index;
    validRecordsNow = validRecordsBefore = 0;
    refreshTelemetryStatus();
    telemetryHandler->setMode(index);
}

void MainWindow::refreshTelemetryStatus()
{
    const int perSecond = validRecordsBefore + validRecordsNow;
    validRecordsBefore = std::exchange(validRecordsNow, 0);
    const bool listed = telemetryMode >= 0 && telemetryMode < int(kSourceNames.size());
    const auto source = QLatin1StringView(kSourceNames[listed ? telemetryMode : TelemetryHandler::Debug]);
    const QString text = perSecond > 0 ? QStringLiteral("%1: %2/s").arg(source).arg(perSecond)
                                       : QStringLiteral("%1: no data").arg(source);
    if (telemetryStatus->text() != text)
        telemetryStatus->setText(text);
}

void MainWindow::telemetryReceived(TelemetryData telemetryData)
{
    if (telemetryData.valid)
        ++validRecordsNow;
    updateHeldPacket(telemetryPacket, invalidTelemetryCount, telemetryData);
    showTelemetryPacket(telemetryPacket, *ui);

    static_assert(sizeof(TelemetryPacket) <= kCommandPayloadSize);
    const auto packet = packetBytes(telemetryPacket);
    // Strict alternation; an absent controller's turn passes unused.
    libusb_device_handle *target = telemetryTarget == 0 ? pedalsDevice : joystickDevice;
    telemetryTarget = telemetryTarget == 0 ? 1 : 0;
    if (target)
        sendCommand(target, kCommandTelemetry, packet);
}

void MainWindow::readProfiles()
{
    ui->profile_combo->clear();
    if (profilesUsable)
        ui->profile_combo->addItems(settings::listProfiles(profilesDir));
    ui->profile_combo->setCurrentIndex(-1);
}

void MainWindow::on_add_profile_button_clicked()
{
    uiToJoystickSoftwareSettings();
    uiToPedalsSoftwareSettings();
    const QString name = ui->profile_combo->currentText();
    // The store warns on stderr itself; the status bar tells the user.
    QString problem = QStringLiteral("there is no profiles folder");
    if (!profilesUsable)
        qWarning() << "Profile" << name << "not saved: no profiles folder";
    if (profilesUsable
        && settings::saveProfile(profilesDir, name, joystickSoftwareSettings,
                                 pedalsSoftwareSettings, &problem))
        tell(QStringLiteral("Profile \"%1\" saved").arg(name));
    else
        tell(QStringLiteral("Profile \"%1\" not saved: %2").arg(name, problem));
    readProfiles();
    // Selecting does not emit activated(), so the saved profile is not loaded back.
    ui->profile_combo->setCurrentIndex(
        ui->profile_combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void MainWindow::on_delete_profile_button_clicked()
{
    const QString name = ui->profile_combo->currentText();
    QString problem = QStringLiteral("there is no profiles folder");
    if (profilesUsable && settings::removeProfile(profilesDir, name, &problem))
        tell(QStringLiteral("Profile \"%1\" deleted").arg(name));
    else
        tell(QStringLiteral("Profile \"%1\" not deleted: %2").arg(name, problem));
    readProfiles();
}

// Shows both records even when nothing was loaded, so the controls always end
// up showing what a write to the controllers would send.
void MainWindow::on_profile_combo_activated(int index)
{
    const QString name = ui->profile_combo->itemText(index);
    QString problem = QStringLiteral("there is no profiles folder");
    if (profilesUsable
        && settings::loadProfile(profilesDir, name, joystickSoftwareSettings,
                                 pedalsSoftwareSettings, &problem))
        tell(QStringLiteral("Profile \"%1\" loaded").arg(name));
    else
        tell(QStringLiteral("Profile \"%1\" not loaded: %2").arg(name, problem));
    joystickSoftwareSettingsToUI();
    pedalsSoftwareSettingsToUI();
}

namespace {

enum class CurveRecord { Joystick, Pedals };

// What the input value of a curve's last point comes from.
enum class CurveAxis {
    Deflection,  // stick or pedals deflection, 100 %
    Aoa,         // 30 degrees
    GForce,      // the record's G-force full scale
    Speed,       // the record's maximum speed, km/h
};

struct CurveBinding
{
    std::string_view button;  // object name of the "Curve" button
    CurveRecord record;
    std::size_t offset;       // of the curve inside its effect record
    const char *title;        // UTF-8
    CurveAxis axis;
};

using JE = JoystickSoftwareSettings;
using PE = PedalsSoftwareSettings;

// The joystick's airbrake and gear titles say "on on speed": users know the
// texts as they are, so they stay word for word.
constexpr CurveBinding kCurveBindings[] = {
    {"roll_curve_artificial", CurveRecord::Joystick, offsetof(JE, rollCurveArtificial),
     "Roll artificial spring magnitude(%) depending on stick deflection(%)", CurveAxis::Deflection},
    {"roll_curve_aoa", CurveRecord::Joystick, offsetof(JE, rollCurveAoa),
     "Roll AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"roll_curve_g_force", CurveRecord::Joystick, offsetof(JE, rollCurveGForce),
     "Roll GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"pitch_curve_artificial", CurveRecord::Joystick, offsetof(JE, pitchCurveArtificial),
     "Pitch artificial spring magnitude(%) depending on stick deflection(%)", CurveAxis::Deflection},
    {"pitch_curve_aoa", CurveRecord::Joystick, offsetof(JE, pitchCurveAoa),
     "Pitch AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"pitch_curve_g_force", CurveRecord::Joystick, offsetof(JE, pitchCurveGForce),
     "Pitch GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"yaw_curve_artificial", CurveRecord::Pedals, offsetof(PE, yawCurveArtificial),
     "Yaw artificial spring magnitude(%) depending on pedals deflection(%)", CurveAxis::Deflection},
    {"yaw_curve_aoa", CurveRecord::Pedals, offsetof(PE, yawCurveAoa),
     "Yaw AoA spring magnitude(%) depending on AOA(degrees)", CurveAxis::Aoa},
    {"yaw_curve_g_force", CurveRecord::Pedals, offsetof(PE, yawCurveGForce),
     "Yaw GForce spring magnitude(%) depending on G", CurveAxis::GForce},
    {"joystick_vibe_curve_flaps", CurveRecord::Joystick, offsetof(JE, vibrations.flaps.curve),
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_airbrake", CurveRecord::Joystick, offsetof(JE, vibrations.airbrake.curve),
     "Airbrake shaking effect magnitude(%) depending on on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_gear", CurveRecord::Joystick, offsetof(JE, vibrations.gear.curve),
     "Gear shaking effect magnitude(%) depending on on speed (km/h)", CurveAxis::Speed},
    {"joystick_vibe_curve_aoa", CurveRecord::Joystick, offsetof(JE, vibrations.aoa.curve),
     "AoA shaking effects magnitude(%) depending on AoA(degrees)", CurveAxis::Aoa},
    {"joystick_vibe_curve_on_ground", CurveRecord::Joystick,
     offsetof(JE, vibrations.onGround.curve),
     "On ground shaking effects magnitude(%) depending on speed(km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_flaps", CurveRecord::Pedals, offsetof(PE, vibrations.flaps.curve),
     "Flaps shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_airbrake", CurveRecord::Pedals, offsetof(PE, vibrations.airbrake.curve),
     "Airbrake shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_gear", CurveRecord::Pedals, offsetof(PE, vibrations.gear.curve),
     "Gear shaking effect magnitude(%) depending on speed (km/h)", CurveAxis::Speed},
    {"pedals_vibe_curve_aoa", CurveRecord::Pedals, offsetof(PE, vibrations.aoa.curve),
     "AoA shaking effects magnitude(%) depending on AoA(degrees)", CurveAxis::Aoa},
    {"pedals_vibe_curve_on_ground", CurveRecord::Pedals, offsetof(PE, vibrations.onGround.curve),
     "On ground shaking effects magnitude(%) depending on speed(km/h)", CurveAxis::Speed},
};

// A slot naming a button the table lacks fails to compile rather than doing nothing.
consteval std::size_t curveBinding(std::string_view button)
{
    for (std::size_t i = 0; i < std::size(kCurveBindings); ++i) {
        if (kCurveBindings[i].button == button)
            return i;
    }
    throw "no curve binding for this button";
}

std::uint16_t curveAxisMaximum(CurveAxis axis, float gForceFullScale, float maximumSpeed)
{
    switch (axis) {
    case CurveAxis::Deflection:
        return 100;
    case CurveAxis::Aoa:
        return 30;
    case CurveAxis::GForce:
        return vorkast::curves::axisMaximum(gForceFullScale);
    case CurveAxis::Speed:
        return vorkast::curves::axisMaximum(maximumSpeed);
    }
    return 0;
}

} // namespace

// The record is refreshed from the controls first, so the speed axis follows
// an unsaved maximum speed, and the editor works on the record that the next
// write or profile save sends.
void MainWindow::editCurve(std::size_t binding)
{
    const CurveBinding &curve = kCurveBindings[binding];
    std::int8_t *points = nullptr;
    float gForceFullScale = 0.0f;
    float maximumSpeed = 0.0f;
    if (curve.record == CurveRecord::Joystick) {
        uiToJoystickSoftwareSettings();
        // Curves are byte arrays: a pointer to one inside the packed record is aligned.
        points = reinterpret_cast<std::int8_t *>(&joystickSoftwareSettings) + curve.offset;
        gForceFullScale = joystickSoftwareSettings.gForceFullScale;
        maximumSpeed = joystickSoftwareSettings.maximumSpeed;
    } else {
        uiToPedalsSoftwareSettings();
        points = reinterpret_cast<std::int8_t *>(&pedalsSoftwareSettings) + curve.offset;
        gForceFullScale = pedalsSoftwareSettings.gForceFullScale;
        maximumSpeed = pedalsSoftwareSettings.maximumSpeed;
    }

    // On the stack: released when exec() returns, so repeated edits leave no
    // hidden dialogs behind among the window's children.
    CurveDialog dialog(this, points, 0, 100,
                       curveAxisMaximum(curve.axis, gForceFullScale, maximumSpeed));
    dialog.setWindowTitle(QString::fromUtf8(curve.title));
    dialog.exec();
}

void MainWindow::on_roll_curve_artificial_clicked() { editCurve(curveBinding("roll_curve_artificial")); }
void MainWindow::on_roll_curve_aoa_clicked() { editCurve(curveBinding("roll_curve_aoa")); }
void MainWindow::on_roll_curve_g_force_clicked() { editCurve(curveBinding("roll_curve_g_force")); }
void MainWindow::on_pitch_curve_artificial_clicked() { editCurve(curveBinding("pitch_curve_artificial")); }
void MainWindow::on_pitch_curve_aoa_clicked() { editCurve(curveBinding("pitch_curve_aoa")); }
void MainWindow::on_pitch_curve_g_force_clicked() { editCurve(curveBinding("pitch_curve_g_force")); }
void MainWindow::on_yaw_curve_artificial_clicked() { editCurve(curveBinding("yaw_curve_artificial")); }
void MainWindow::on_yaw_curve_aoa_clicked() { editCurve(curveBinding("yaw_curve_aoa")); }
void MainWindow::on_yaw_curve_g_force_clicked() { editCurve(curveBinding("yaw_curve_g_force")); }
void MainWindow::on_joystick_vibe_curve_flaps_clicked() { editCurve(curveBinding("joystick_vibe_curve_flaps")); }
void MainWindow::on_joystick_vibe_curve_airbrake_clicked() { editCurve(curveBinding("joystick_vibe_curve_airbrake")); }
void MainWindow::on_joystick_vibe_curve_gear_clicked() { editCurve(curveBinding("joystick_vibe_curve_gear")); }
void MainWindow::on_joystick_vibe_curve_aoa_clicked() { editCurve(curveBinding("joystick_vibe_curve_aoa")); }
void MainWindow::on_joystick_vibe_curve_on_ground_clicked() { editCurve(curveBinding("joystick_vibe_curve_on_ground")); }
void MainWindow::on_pedals_vibe_curve_flaps_clicked() { editCurve(curveBinding("pedals_vibe_curve_flaps")); }
void MainWindow::on_pedals_vibe_curve_airbrake_clicked() { editCurve(curveBinding("pedals_vibe_curve_airbrake")); }
void MainWindow::on_pedals_vibe_curve_gear_clicked() { editCurve(curveBinding("pedals_vibe_curve_gear")); }
void MainWindow::on_pedals_vibe_curve_aoa_clicked() { editCurve(curveBinding("pedals_vibe_curve_aoa")); }
void MainWindow::on_pedals_vibe_curve_on_ground_clicked() { editCurve(curveBinding("pedals_vibe_curve_on_ground")); }

void showMainWindow(MainWindow &window)
{
    window.show();
    // Installed after show() so the widgets already on screen take it too.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    QApplication::setFont(font);
}
