#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "busywait.h"
#include "controllerwatcher.h"
#include "curveaxis.h"
#include "curvebindings.h"
#include "curvedialog.h"
#include "curveinput.h"
#include "hidtransport.h"
#include "profilestore.h"
#include "protocol.h"
#include "settingsmapping.h"
#include "telemetrygraph.h"
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
#include <optional>
#include <utility>

using namespace vorkast;
using namespace vorkast::protocol;

namespace {

constexpr unsigned long kBusyPollIntervalMs = 100;

// Telemetry forwarding state lives once for the process, not per window.
std::uint16_t invalidTelemetryCount = 0;
std::uint8_t telemetryTarget = 0;  // 0: pedals next, 1: joystick next

constexpr int kMessageMs = 5000;
constexpr int kControllerLookMs = 1000;
constexpr int kStatusRefreshMs = 500;  // the indicator counts per half second
// The telemetry sources as the indicator names them, in the order of the
// window's source list; any other mode gives the debug source.
constexpr std::array<const char *, 5> kSourceNames{"DCS", "War Thunder", "MSFS", "IL-2", "Debug"};

// Replaces the record's leading bytes with those of the reply that arrived;
// the rest of the record, and the whole record on failure, stays as it was.
// False when nothing arrived.
bool readRecord(Device *device, std::uint8_t reportId, void *record,
                std::size_t size)
{
    std::array<std::uint8_t, kReadLength> reply{};
    const int received = getReport(device, reportId, reply.data(), kReadLength);
    if (received > 0)
        std::memcpy(record, reply.data(), std::min<std::size_t>(size, std::size_t(received)));
    return received > 0;
}

// Opens a controller; one that is there but cannot be used is said on stderr.
DeviceHandle openOrSay(std::uint16_t productId, const char *name, bool usbReady)
{
    OpenedController opened =
        openController(productId, usbReady ? std::optional<libusb_context *>(nullptr) : std::nullopt);
    if (!opened.device && !opened.problem.empty())
        qWarning().noquote() << name << "controller not usable:" << QString::fromStdString(opened.problem);
    return std::move(opened.device);
}

} // namespace

struct MainWindow::RecordPlace
{
    Device *device;
    std::uint8_t reportId;  // read
    std::uint8_t command;   // written in chunks
    void *bytes;
    std::size_t size;
    void (MainWindow::*show)();
    void (MainWindow::*take)();
    const char *name;
};

MainWindow::MainWindow(QWidget *parent, TelemetryPorts ports)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , joystickSoftwareSettings{}
    , joystickHardwareSettings{}
    , deviceBusy(0)
    , pedalsSoftwareSettings{}
    , pedalsHardwareSettings{}
    , telemetryPacket{}
    , telemetryHandler(nullptr)
{
    ui->setupUi(this);
    settingsControls = std::make_unique<settings::SettingsControls>(this);
    statusBar()->setObjectName(QStringLiteral("statusbar"));
    telemetryStatus = new QLabel(this);
    telemetryStatus->setObjectName(QStringLiteral("telemetry_status"));
    statusBar()->addPermanentWidget(telemetryStatus);
    telemetryHandler = new TelemetryHandler(ui, ports);
    telemetryView = new TelemetryView(*ui, ui->main_tabplane->widget(2));
    telemetryGraph = addTelemetryGraph(*ui);

    profilesDir = QDir(QDir::currentPath());
    profilesDir.mkdir(QStringLiteral("profiles"));
    profilesUsable = profilesDir.cd(QStringLiteral("profiles"));
    if (!profilesUsable)
        qWarning() << "No profiles folder in" << profilesDir.path() << "- profiles are disabled";

    // Without a libusb context only the HID route is left.
    usbReady = libusb_init(nullptr) == LIBUSB_SUCCESS;
    joystickDevice = openOrSay(JOYSTICK_PRODUCT_ID, "Joystick", usbReady);
    pedalsDevice = openOrSay(PEDALS_PRODUCT_ID, "Pedals", usbReady);
    updateJoystickStatus();
    updatePedalsStatus();
    // A record read has been noted; the others match the form's values.
    for (auto record : {SettingsRecord::JoystickEffects, SettingsRecord::JoystickSystem,
                        SettingsRecord::PedalsEffects, SettingsRecord::PedalsSystem}) {
        if (matchingControls[std::size_t(record)].isEmpty())
            noteControlsMatch(record);
    }

    controllerWatcher = new ControllerWatcher(this);
    controllerWatcher->setObjectName(QStringLiteral("controller_watcher"));
    connect(controllerWatcher, &ControllerWatcher::arrived, this, &MainWindow::lookForControllers);
    connect(controllerWatcher, &ControllerWatcher::removed, this, &MainWindow::controllerRemoved);
    connect(&controllerLook, &QTimer::timeout, this, &MainWindow::lookForControllers);
    controllerLook.setInterval(kControllerLookMs);
    updateControllerLook();

    // The source's complaints reach the user; it already warns on stderr itself.
    connect(telemetryHandler, &TelemetryHandler::sourceProblem, this, &MainWindow::tell);
    telemetryHandler->setMode(TelemetryHandler::Dcs);
    connect(telemetryHandler, &TelemetryHandler::telemetryUpdate, this,
            &MainWindow::telemetryReceived);
    connect(&telemetryStatusTimer, &QTimer::timeout, this, &MainWindow::refreshTelemetryStatus);
    telemetryStatusTimer.start(kStatusRefreshMs);
    refreshTelemetryStatus();

    readProfiles();
    // Nothing is typed at start: a text cursor blinking in the profile box
    // would repaint it twice a second for as long as the window is in front.
    ui->main_tabplane->setFocus();
}

MainWindow::~MainWindow()
{
    delete ui;
    joystickDevice.reset();
    pedalsDevice.reset();
    if (usbReady)
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

DeviceHandle &MainWindow::handle(Controller which)
{
    return which == Controller::Joystick ? joystickDevice : pedalsDevice;
}

namespace {

const char *nameOf(int controller)
{
    return controller == 0 ? "Joystick" : "Pedals";
}

} // namespace

void MainWindow::lookForControllers()
{
    for (Controller which : {Controller::Joystick, Controller::Pedals}) {
        if (handle(which))
            continue;
        const bool joystick = which == Controller::Joystick;
        handle(which) = openOrSay(joystick ? JOYSTICK_PRODUCT_ID : PEDALS_PRODUCT_ID,
                                  nameOf(int(which)), usbReady);
        if (handle(which))
            controllerArrived(which);
    }
    updateControllerLook();
}

// Edits made while the controller was away (or a profile loaded then) are
// what the user meant to send it: reading would silently replace them.
void MainWindow::controllerArrived(Controller which)
{
    const int tab = int(which);
    const QLatin1StringView name(nameOf(tab));
    ui->main_tabplane->setTabText(tab, name);
    if (hasUnsavedEdits(which)) {
        tell(QStringLiteral("%1 connected: its settings were not read, your edits are kept; "
                            "read or write them")
                 .arg(name));
        return;
    }
    const bool joystick = which == Controller::Joystick;
    const bool effectsRead = readSettings(joystick ? SettingsRecord::JoystickEffects
                                                   : SettingsRecord::PedalsEffects);
    const bool systemRead = handle(which)
        && readSettings(joystick ? SettingsRecord::JoystickSystem : SettingsRecord::PedalsSystem);
    // A failed read has said so already, and one that lost the controller too.
    if (effectsRead && systemRead)
        tell(QStringLiteral("%1 connected").arg(name));
}

void MainWindow::controllerRemoved(const QString &node)
{
    for (Controller which : {Controller::Joystick, Controller::Pedals}) {
        if (handle(which) && ControllerWatcher::sameNode(handle(which)->name(), node))
            forgetController(which);
    }
}

bool MainWindow::lost(Device *device)
{
    if (!device || !device->gone())
        return false;
    for (Controller which : {Controller::Joystick, Controller::Pedals}) {
        if (handle(which).get() == device)
            forgetController(which);
    }
    return true;
}

void MainWindow::forgetController(Controller which)
{
    const int tab = int(which);
    const QLatin1StringView name(nameOf(tab));
    qInfo().noquote() << name << "controller disconnected:"
                      << QString::fromStdString(handle(which)->name());
    handle(which).reset();
    ui->main_tabplane->setTabText(tab, QStringLiteral("%1 (Not connected)").arg(name));
    tell(QStringLiteral("%1 disconnected").arg(name));
    updateControllerLook();
}

void MainWindow::updateControllerLook()
{
    const bool missing = !joystickDevice || !pedalsDevice;
    if (missing && !controllerWatcher->watching())
        controllerLook.start();
    else
        controllerLook.stop();
}

QByteArray MainWindow::controlsAsRecord(SettingsRecord which)
{
    // The record itself is left as it is: only a write or a profile takes the controls.
    const RecordPlace record = place(which);
    const QByteArray held(static_cast<const char *>(record.bytes), qsizetype(record.size));
    (this->*record.take)();
    const QByteArray controls(static_cast<const char *>(record.bytes), qsizetype(record.size));
    std::memcpy(record.bytes, held.constData(), record.size);
    return controls;
}

void MainWindow::noteControlsMatch(SettingsRecord which)
{
    matchingControls[std::size_t(which)] = controlsAsRecord(which);
}

bool MainWindow::hasUnsavedEdits(Controller which)
{
    const bool joystick = which == Controller::Joystick;
    for (SettingsRecord record :
         {joystick ? SettingsRecord::JoystickEffects : SettingsRecord::PedalsEffects,
          joystick ? SettingsRecord::JoystickSystem : SettingsRecord::PedalsSystem}) {
        if (controlsAsRecord(record) != matchingControls[std::size_t(record)])
            return true;
    }
    return false;
}

void MainWindow::on_dfu_mode_button_clicked()
{
    sendCommand(joystickDevice.get(), kCommandDfu);
    lost(joystickDevice.get());
}

void MainWindow::on_pedal_dfu_mode_button_clicked()
{
    sendCommand(pedalsDevice.get(), kCommandDfu);
    lost(pedalsDevice.get());
}

MainWindow::RecordPlace MainWindow::place(SettingsRecord which)
{
    switch (which) {
    case SettingsRecord::JoystickEffects:
        return {joystickDevice.get(), kEffectReportId, kCommandEffectChunk, &joystickSoftwareSettings,
                sizeof joystickSoftwareSettings, &MainWindow::joystickSoftwareSettingsToUI,
                &MainWindow::uiToJoystickSoftwareSettings, "Joystick effect settings"};
    case SettingsRecord::JoystickSystem:
        return {joystickDevice.get(), kHardwareReportId, kCommandHardwareChunk, &joystickHardwareSettings,
                sizeof joystickHardwareSettings, &MainWindow::joystickHardwareSettingsToUI,
                &MainWindow::uiToJoystickHardwareSettings, "Joystick system settings"};
    case SettingsRecord::PedalsEffects:
        return {pedalsDevice.get(), kEffectReportId, kCommandEffectChunk, &pedalsSoftwareSettings,
                sizeof pedalsSoftwareSettings, &MainWindow::pedalsSoftwareSettingsToUI,
                &MainWindow::uiToPedalsSoftwareSettings, "Pedals effect settings"};
    case SettingsRecord::PedalsSystem:
        return {pedalsDevice.get(), kHardwareReportId, kCommandHardwareChunk, &pedalsHardwareSettings,
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
    if (!record.device || lost(record.device))
        return false;  // the tab says "(Not connected)"
    if (answered) {
        noteControlsMatch(which);
        tell(QStringLiteral("%1 read").arg(QLatin1StringView(record.name)));
    } else
        warn(QStringLiteral("%1 not read: the controller did not answer")
                 .arg(QLatin1StringView(record.name)));
    return answered;
}

void MainWindow::writeSettings(SettingsRecord which)
{
    const RecordPlace record = place(which);
    (this->*record.take)();
    const auto name = QLatin1StringView(record.name);
    const bool connected = record.device != nullptr;
    const bool sent = sendChunked(record.device, record.command,
                                  static_cast<const std::uint8_t *>(record.bytes),
                                  static_cast<std::uint16_t>(record.size))
        >= 0;
    const bool stored = awaitDeviceNotBusy(record.device);
    if (lost(record.device)) {
        qWarning().noquote() << name << "not written: the controller was disconnected";
        return;
    }
    const bool readBack = readSettings(which);
    if (connected && !place(which).device)
        return;  // lost during the read-back, which said so
    if (!connected)
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

bool MainWindow::awaitDeviceNotBusy(Device *device)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool settled = awaitIdle(
        [&]() -> std::optional<std::uint8_t> {
            if (!device)
                return deviceBusy;
            std::array<std::uint8_t, kReadLength> status{};
            if (getReport(device, kStatusReportId, status.data(), kReadLength) <= 0)
                return std::nullopt;
            return deviceBusy = status[0];
        },
        // Deliberately blocking: nothing else may talk to a controller while it
        // stores its settings. A controller that is gone is not waited for.
        [&] {
            if (!device || !device->gone())
                QThread::msleep(kBusyPollIntervalMs);
        });
    // An abandoned wait must not leave the shared flag set for the next one.
    deviceBusy = 0;
    QGuiApplication::restoreOverrideCursor();
    return settled;
}

void MainWindow::joystickSoftwareSettingsToUI()
{
    settingsControls->show(joystickSoftwareSettings);
}

void MainWindow::uiToJoystickSoftwareSettings()
{
    settingsControls->store(joystickSoftwareSettings);
}

void MainWindow::joystickHardwareSettingsToUI()
{
    settingsControls->show(joystickHardwareSettings);
}

void MainWindow::uiToJoystickHardwareSettings()
{
    settingsControls->store(joystickHardwareSettings);
}

void MainWindow::pedalsSoftwareSettingsToUI()
{
    settingsControls->show(pedalsSoftwareSettings);
}

void MainWindow::uiToPedalsSoftwareSettings()
{
    settingsControls->store(pedalsSoftwareSettings);
}

void MainWindow::pedalsHardwareSettingsToUI()
{
    settingsControls->show(pedalsHardwareSettings);
}

void MainWindow::uiToPedalsHardwareSettings()
{
    settingsControls->store(pedalsHardwareSettings);
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
    telemetryView->update(telemetryPacket);
    telemetryGraph->append(telemetryPacket);
    if (openCurveDialog)
        openCurveDialog->setInput(curveInput(openCurveAxis, telemetryPacket));

    static_assert(sizeof(TelemetryPacket) <= kCommandPayloadSize);
    const auto packet = packetBytes(telemetryPacket);
    // Strict alternation; an absent controller's turn passes unused.
    Device *target = telemetryTarget == 0 ? pedalsDevice.get() : joystickDevice.get();
    telemetryTarget = telemetryTarget == 0 ? 1 : 0;
    if (target) {
        sendCommand(target, kCommandTelemetry, packet);
        lost(target);
    }
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

using settings::CurveAxis;

std::uint16_t curveAxisMaximum(CurveAxis axis, float gForceFullScale, float maximumSpeed)
{
    switch (axis) {
    case CurveAxis::Deflection:
        return 100;
    case CurveAxis::Aoa:
        return vorkast::curves::axisMaximum(settings::kAoaFullScale);
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
    const settings::CurveBinding &curve = settings::kCurveBindings[binding];
    std::int8_t *points = nullptr;
    float gForceFullScale = 0.0f;
    float maximumSpeed = 0.0f;
    if (curve.record == settings::CurveRecord::Joystick) {
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
    dialog.setInput(curveInput(curve.axis, telemetryPacket));
    openCurveDialog = &dialog;
    openCurveAxis = curve.axis;
    dialog.exec();
    openCurveDialog = nullptr;
}

using settings::curveBinding;

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
