#pragma once

#include "device.h"
#include "records.h"
#include "telemetrypacket.h"
#include "telemetryports.h"

#include <QDir>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

class CurveDialog;
class QLabel;
class TelemetryGraph;
class TelemetryHandler;

namespace vorkast {
class ControllerWatcher;
class TelemetryView;
}

namespace vorkast::settings {
class SettingsControls;
enum class CurveAxis;
}

namespace Ui {
class MainWindow;
}

// The one window of the tool. It owns every piece of run-time state: the form,
// the four settings records as the controllers hold them, the two controller
// handles (null while a controller is not connected, or cannot be used) and the
// telemetry bridge. Controllers are looked for at start-up and again whenever
// the system says one was plugged in; one pulled out is let go.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `ports`: where the network telemetry sources listen or ask.
    explicit MainWindow(QWidget *parent = nullptr, TelemetryPorts ports = {});
    ~MainWindow() override;

public slots:
    // The receiver of the telemetry handler's records.
    void telemetryReceived(TelemetryData telemetryData);

private slots:
    void on_dfu_mode_button_clicked();
    void on_software_settings_read_clicked();
    void on_hardware_settings_read_clicked();
    void on_add_profile_button_clicked();
    void on_delete_profile_button_clicked();
    void on_roll_curve_artificial_clicked();
    void on_roll_curve_aoa_clicked();
    void on_roll_curve_g_force_clicked();
    void on_pitch_curve_artificial_clicked();
    void on_pitch_curve_aoa_clicked();
    void on_pitch_curve_g_force_clicked();
    void joystickSoftwareSettingsToUI();
    void uiToJoystickSoftwareSettings();
    void joystickHardwareSettingsToUI();
    void uiToJoystickHardwareSettings();
    void pedalsSoftwareSettingsToUI();
    void uiToPedalsSoftwareSettings();
    void pedalsHardwareSettingsToUI();
    void uiToPedalsHardwareSettings();
    void on_hardware_settings_save_clicked();
    void on_software_settings_save_clicked();
    void readProfiles();
    void on_profile_combo_activated(int index);
    void on_pedal_software_settings_read_clicked();
    void on_pedal_software_settings_save_clicked();
    void on_yaw_curve_artificial_clicked();
    void on_yaw_curve_aoa_clicked();
    void on_yaw_curve_g_force_clicked();
    void on_pedal_dfu_mode_button_clicked();
    void on_pedal_hardware_settings_read_clicked();
    void on_pedal_hardware_settings_save_clicked();
    // False when the controller stayed busy or stopped answering.
    bool awaitDeviceNotBusy(vorkast::Device *device);
    void on_telemetryMode_activated(int index);
    void on_joystick_vibe_curve_flaps_clicked();
    void on_joystick_vibe_curve_airbrake_clicked();
    void on_joystick_vibe_curve_gear_clicked();
    void on_joystick_vibe_curve_aoa_clicked();
    void on_joystick_vibe_curve_on_ground_clicked();
    void on_pedals_vibe_curve_flaps_clicked();
    void on_pedals_vibe_curve_airbrake_clicked();
    void on_pedals_vibe_curve_gear_clicked();
    void on_pedals_vibe_curve_aoa_clicked();
    void on_pedals_vibe_curve_on_ground_clicked();

private:
    struct RecordPlace;
    enum class SettingsRecord { JoystickEffects, JoystickSystem, PedalsEffects, PedalsSystem };
    enum class Controller { Joystick, Pedals };

    void updateJoystickStatus();
    void updatePedalsStatus();
    vorkast::DeviceHandle &handle(Controller which);
    // Opens the missing controllers that are there now, as start-up does.
    void lookForControllers();
    void controllerArrived(Controller which);
    void controllerRemoved(const QString &node);
    // Lets go of every controller a transfer found gone; true if `device` was one.
    bool lost(vorkast::Device *device);
    void forgetController(Controller which);
    // The periodic look, only where the system gives no notifications and
    // only while a controller is missing.
    void updateControllerLook();
    // What the controls would write now, and whether that differs from what
    // they showed when they last matched the controller (or the form's values).
    QByteArray controlsAsRecord(SettingsRecord which);
    void noteControlsMatch(SettingsRecord which);
    bool hasUnsavedEdits(Controller which);
    void editCurve(std::size_t binding);
    RecordPlace place(SettingsRecord which);
    // Read, show and say how it went; false when the controller did not answer.
    bool readSettings(SettingsRecord which);
    void writeSettings(SettingsRecord which);
    // A line in the status bar for a few seconds; warn() also puts it on stderr.
    void tell(const QString &message);
    void warn(const QString &message);
    void refreshTelemetryStatus();

    Ui::MainWindow *ui;
    // The records' controls on the form, bound right after it is set up.
    std::unique_ptr<vorkast::settings::SettingsControls> settingsControls;
    JoystickSoftwareSettings joystickSoftwareSettings;
    JoystickHardwareSettings joystickHardwareSettings;
    std::uint8_t deviceBusy;
    PedalsSoftwareSettings pedalsSoftwareSettings;
    PedalsHardwareSettings pedalsHardwareSettings;
    QDir profilesDir;
    vorkast::DeviceHandle joystickDevice;
    vorkast::DeviceHandle pedalsDevice;
    TelemetryPacket telemetryPacket;
    TelemetryHandler *telemetryHandler;
    vorkast::TelemetryView *telemetryView = nullptr;  // a child of its tab
    bool usbReady = false;  // libusb initialised: exited with the window
    vorkast::ControllerWatcher *controllerWatcher = nullptr;
    QTimer controllerLook;
    std::array<QByteArray, 4> matchingControls;  // per SettingsRecord
    // False when the profiles folder could be neither created nor entered:
    // profilesDir then still names the working directory, which the profile
    // operations must never touch.
    bool profilesUsable = false;

    // The status bar's indicator of the telemetry source: its name and the
    // valid records of the last second, counted per half second.
    QLabel *telemetryStatus = nullptr;
    QTimer telemetryStatusTimer;
    int telemetryMode = 0;
    int validRecordsNow = 0;
    int validRecordsBefore = 0;

    // The last seconds of what was sent, on the Telemetry tab.
    TelemetryGraph *telemetryGraph = nullptr;
    // The curve editor while it runs, told where its input is now.
    CurveDialog *openCurveDialog = nullptr;
    vorkast::settings::CurveAxis openCurveAxis{};
};

// Shows the window and then installs the application font, as start-up does.
void showMainWindow(MainWindow &window);
