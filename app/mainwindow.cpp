#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hidtransport.h"
#include "protocol.h"
#include "settingsmapping.h"

#include <QGuiApplication>
#include <QThread>

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>

using namespace vorkast;
using namespace vorkast::protocol;

namespace {

constexpr unsigned long kBusyPollIntervalMs = 100;
// A controller storing its settings may stay busy for a few seconds, but a
// vanished or wedged one must never hang the window.
constexpr int kMaxBusyPolls = 100;
constexpr int kMaxFailedStatusReads = 3;

// Replaces the record's leading bytes with those of the reply that arrived;
// the rest of the record, and the whole record on failure, stays as it was.
void readRecord(libusb_device_handle *device, std::uint8_t reportId, void *record,
                std::size_t size)
{
    std::array<std::uint8_t, kReadLength> reply{};
    const int received = getReport(device, reportId, reply.data(), kReadLength);
    if (received > 0)
        std::memcpy(record, reply.data(), std::min<std::size_t>(size, std::size_t(received)));
}

template <typename Record>
int writeRecord(libusb_device_handle *device, std::uint8_t command, const Record &record)
{
    return sendChunked(device, command, reinterpret_cast<const std::uint8_t *>(&record),
                       sizeof record);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
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

    profilesDir = QDir(QDir::currentPath());
    profilesDir.mkdir(QStringLiteral("profiles"));
    profilesDir.cd(QStringLiteral("profiles"));

    libusb_init(nullptr);
    joystickDevice = libusb_open_device_with_vid_pid(nullptr, CONTROLLER_VENDOR_ID,
                                                     JOYSTICK_PRODUCT_ID);
    pedalsDevice = libusb_open_device_with_vid_pid(nullptr, CONTROLLER_VENDOR_ID,
                                                   PEDALS_PRODUCT_ID);
    updateJoystickStatus();
    updatePedalsStatus();
}

MainWindow::~MainWindow()
{
    delete ui;
    if (joystickDevice)
        libusb_close(joystickDevice);
    if (pedalsDevice)
        libusb_close(pedalsDevice);
    libusb_exit(nullptr);
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

void MainWindow::on_software_settings_read_clicked()
{
    readRecord(joystickDevice, kEffectReportId, &joystickSoftwareSettings,
               sizeof joystickSoftwareSettings);
    joystickSoftwareSettingsToUI();
}

void MainWindow::on_hardware_settings_read_clicked()
{
    readRecord(joystickDevice, kHardwareReportId, &joystickHardwareSettings,
               sizeof joystickHardwareSettings);
    joystickHardwareSettingsToUI();
}

void MainWindow::on_pedal_software_settings_read_clicked()
{
    readRecord(pedalsDevice, kEffectReportId, &pedalsSoftwareSettings,
               sizeof pedalsSoftwareSettings);
    pedalsSoftwareSettingsToUI();
}

void MainWindow::on_pedal_hardware_settings_read_clicked()
{
    readRecord(pedalsDevice, kHardwareReportId, &pedalsHardwareSettings,
               sizeof pedalsHardwareSettings);
    pedalsHardwareSettingsToUI();
}

void MainWindow::on_software_settings_save_clicked()
{
    uiToJoystickSoftwareSettings();
    writeRecord(joystickDevice, kCommandEffectChunk, joystickSoftwareSettings);
    awaitDeviceNotBusy(joystickDevice);
    on_software_settings_read_clicked();
}

void MainWindow::on_hardware_settings_save_clicked()
{
    uiToJoystickHardwareSettings();
    writeRecord(joystickDevice, kCommandHardwareChunk, joystickHardwareSettings);
    awaitDeviceNotBusy(joystickDevice);
    on_hardware_settings_read_clicked();
}

void MainWindow::on_pedal_software_settings_save_clicked()
{
    uiToPedalsSoftwareSettings();
    writeRecord(pedalsDevice, kCommandEffectChunk, pedalsSoftwareSettings);
    awaitDeviceNotBusy(pedalsDevice);
    on_pedal_software_settings_read_clicked();
}

void MainWindow::on_pedal_hardware_settings_save_clicked()
{
    uiToPedalsHardwareSettings();
    writeRecord(pedalsDevice, kCommandHardwareChunk, pedalsHardwareSettings);
    awaitDeviceNotBusy(pedalsDevice);
    on_pedal_hardware_settings_read_clicked();
}

void MainWindow::awaitDeviceNotBusy(libusb_device_handle *device)
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
    // An abandoned wait must not leave the shared flag set for the next one.
    deviceBusy = 0;
    QGuiApplication::restoreOverrideCursor();
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
    Q_UNUSED(index);
}

void MainWindow::readProfiles() {}
void MainWindow::on_add_profile_button_clicked() {}
void MainWindow::on_delete_profile_button_clicked() {}
void MainWindow::on_profile_combo_activated(int index) { Q_UNUSED(index); }

void MainWindow::on_roll_curve_artificial_clicked() {}
void MainWindow::on_roll_curve_aoa_clicked() {}
void MainWindow::on_roll_curve_g_force_clicked() {}
void MainWindow::on_pitch_curve_artificial_clicked() {}
void MainWindow::on_pitch_curve_aoa_clicked() {}
void MainWindow::on_pitch_curve_g_force_clicked() {}
void MainWindow::on_yaw_curve_artificial_clicked() {}
void MainWindow::on_yaw_curve_aoa_clicked() {}
void MainWindow::on_yaw_curve_g_force_clicked() {}
void MainWindow::on_joystick_vibe_curve_flaps_clicked() {}
void MainWindow::on_joystick_vibe_curve_airbrake_clicked() {}
void MainWindow::on_joystick_vibe_curve_gear_clicked() {}
void MainWindow::on_joystick_vibe_curve_aoa_clicked() {}
void MainWindow::on_joystick_vibe_curve_on_ground_clicked() {}
void MainWindow::on_pedals_vibe_curve_flaps_clicked() {}
void MainWindow::on_pedals_vibe_curve_airbrake_clicked() {}
void MainWindow::on_pedals_vibe_curve_gear_clicked() {}
void MainWindow::on_pedals_vibe_curve_aoa_clicked() {}
void MainWindow::on_pedals_vibe_curve_on_ground_clicked() {}
