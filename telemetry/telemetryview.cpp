#include "telemetryview.h"

#include "ui_mainwindow.h"

namespace {

QString yesNo(std::uint8_t flags, std::uint8_t bit)
{
    return (flags & bit) ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString real(float value)
{
    return QString::number(static_cast<double>(value), 'g', 6);
}

} // namespace

void showTelemetryPacket(const TelemetryPacket &packet, Ui::MainWindow &view)
{
    view.telemetry_out_valid->setText(yesNo(packet.flags, TelemetryFlags::Valid));
    view.telemetry_out_trim_override->setText(yesNo(packet.flags, TelemetryFlags::TrimOverride));
    view.telemetry_out_on_ground->setText(yesNo(packet.flags, TelemetryFlags::OnGround));
    view.telemetry_out_flaps->setText(QString::number(packet.flaps));
    view.telemetry_out_airbrake->setText(QString::number(packet.airbrake));
    view.telemetry_out_brake->setText(QString::number(packet.brake));
    view.telemetry_out_gear->setText(QString::number(packet.gear));
    view.telemetry_out_trim_roll->setText(QString::number(packet.trim_roll));
    view.telemetry_out_trim_pitch->setText(QString::number(packet.trim_pitch));
    view.telemetry_out_trim_yaw->setText(QString::number(packet.trim_yaw));
    view.telemetry_out_thrust->setText(real(packet.thrust));
    view.telemetry_out_airspeed->setText(real(packet.airspeed));
    view.telemetry_out_vertical_speed->setText(real(packet.vertical_speed));
    view.telemetry_out_g_force->setText(real(packet.g_force));
    view.telemetry_out_aoa->setText(real(packet.aoa));
}
