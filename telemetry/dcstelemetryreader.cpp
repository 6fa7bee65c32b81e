#include "dcstelemetryreader.h"

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

DcsTelemetryReader::DcsTelemetryReader(TelemetryHandler *handler, quint16 port)
    : TelemetryReader(handler)
{
    if (!socket.bind(QHostAddress::Any, port))
        handler->reportUnboundSocket("DCS", socket, port);
}

void DcsTelemetryReader::poll()
{
    bool received = false;
    // A socket that could not bind warns on every query; it has nothing anyway.
    while (socket.state() == QAbstractSocket::BoundState && socket.hasPendingDatagrams()) {
        buffer.resize(qMax<qint64>(socket.pendingDatagramSize(), 0));
        if (socket.readDatagram(buffer.data(), buffer.size()) > 0)
            received = true;
    }
    emit handler->telemetryUpdate(received ? parse(buffer) : TelemetryData{});
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
    const auto percent = [&](Field f) { return truncatedLowByte(real(f) * 100.0f); };

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
