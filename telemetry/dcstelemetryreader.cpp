#include "dcstelemetryreader.h"

#include "datagramdrain.h"
#include "telemetryhandler.h"

#include <QString>

#include <array>

namespace {

constexpr int kFieldCount = 13;

enum Field {
    OnGround, Airspeed, VerticalSpeed, GForce, Aoa, Thrust,
    Flaps, Airbrake, Brake, Gear, Unused10, Unused11, Valid
};

} // namespace

using namespace vorkast;

DcsTelemetryReader::DcsTelemetryReader(TelemetryHandler *handler, quint16 port)
    : TelemetryReader(handler)
{
    if (!socket.bind(QHostAddress::Any, port))
        handler->reportUnboundSocket("DCS", socket, port);
}

void DcsTelemetryReader::poll()
{
    const bool received = drainDatagrams(socket, newest, scratch).kept;
    emit handler->telemetryUpdate(received ? parse(newest) : TelemetryData{});
}

TelemetryData DcsTelemetryReader::parse(const QByteArray &datagram)
{
    // Views into one decoded string: no string per field.
    const QString text = QString::fromUtf8(datagram);
    const QList<QStringView> parts = QStringView(text).split(u';', Qt::KeepEmptyParts);
    std::array<QStringView, kFieldCount> fields{};
    for (int i = 0; i < kFieldCount && i < parts.size(); ++i)
        fields[i] = parts[i];

    // QString's number conversions are locale-independent; bad text gives 0.
    const auto flag = [&](Field f) { return fields[f].toInt(nullptr, 10) != 0; };
    const auto real = [&](Field f) { return fields[f].toFloat(); };
    const auto percent = [&](Field f) { return truncatedLowByte(real(f) * kPercentPerFraction); };

    TelemetryData data;
    data.on_ground = flag(OnGround);
    data.airspeed = real(Airspeed);
    data.vertical_speed = real(VerticalSpeed);
    data.g_force = real(GForce);
    data.aoa = real(Aoa);
    data.thrust = real(Thrust);
    data.flaps = percent(Flaps);
    data.airbrake = percent(Airbrake);
    data.brake = percent(Brake);
    data.gear = percent(Gear);
    data.valid = flag(Valid);
    return data;
}
