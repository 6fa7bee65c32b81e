#include "debugtelemetryreader.h"

#include "telemetryhandler.h"
#include "ui_mainwindow.h"

namespace {
constexpr double kTenthsPerUnit = 10.0;
} // namespace

DebugTelemetryReader::DebugTelemetryReader(TelemetryHandler *handler, Ui::MainWindow *layout)
    : TelemetryReader(handler)
    , layout(layout)
{
}

void DebugTelemetryReader::poll()
{
    TelemetryData data;
    if (layout) {
        const Ui::MainWindow &in = *layout;
        data.valid = in.telemetry_in_valid->isChecked();
        data.trim_override = in.telemetry_in_trim_override->isChecked();
        data.on_ground = in.telemetry_in_on_ground->isChecked();
        data.flaps = static_cast<std::uint8_t>(in.telemetry_in_flaps->value());
        data.airbrake = static_cast<std::uint8_t>(in.telemetry_in_airbrake->value());
        data.brake = static_cast<std::uint8_t>(in.telemetry_in_brake->value());
        data.gear = static_cast<std::uint8_t>(in.telemetry_in_gear->value());
        data.thrust = static_cast<float>(in.telemetry_in_thrust->value());
        data.trim_roll = static_cast<std::int8_t>(in.telemetry_in_trim_roll->value());
        data.trim_pitch = static_cast<std::int8_t>(in.telemetry_in_trim_pitch->value());
        data.trim_yaw = static_cast<std::int8_t>(in.telemetry_in_trim_yaw->value());
        data.airspeed = static_cast<float>(in.telemetry_in_airspeed->value());
        // The form gives tenths of m/s and of G.
        data.vertical_speed =
            static_cast<float>(in.telemetry_in_vertical_speed->value() / kTenthsPerUnit);
        data.g_force = static_cast<float>(in.telemetry_in_g_force->value() / kTenthsPerUnit);
        data.aoa = static_cast<float>(in.telemetry_in_aoa->value());
    }
    emit handler->telemetryUpdate(data);
}
