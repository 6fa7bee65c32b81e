#pragma once

#include "telemetrypacket.h"
#include "telemetryreader.h"

#include <QByteArray>
#include <QUdpSocket>

// DCS World: an export script inside the simulator sends text datagrams of
// thirteen ';'-separated fields to UDP port 6666 (all interfaces):
//
//   on_ground;airspeed km/h;vertical speed m/s;G;AoA deg;thrust;
//   flaps;airbrake;brake;gear (fractions 0..1);unused;unused;valid
//
// Numbers use '.' as decimal point whatever the locale. Each tick the newest
// datagram counts; a tick without one emits an invalid all-zero record.
// Fields missing from a short datagram count as zero, so such a datagram,
// lacking the valid flag, always gives an invalid record.
class DcsTelemetryReader : public TelemetryReader
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 6666;

    explicit DcsTelemetryReader(TelemetryHandler *handler, quint16 port = kPort);
    void poll() override;

    // The record one datagram gives.
    static TelemetryData parse(const QByteArray &datagram);

private:
    QUdpSocket socket;
    QByteArray newest;
    QByteArray scratch;
};
