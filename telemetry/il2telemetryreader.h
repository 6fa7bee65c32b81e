#pragma once

#include "telemetrypacket.h"
#include "telemetryreader.h"

#include <QByteArray>
#include <QUdpSocket>

#include <array>

// IL-2 Sturmovik: the simulator's telemetry device sends binary datagrams to
// UDP port 29777 (all interfaces), little-endian throughout:
//
//   0   u32       packet id: 0x54000101 for telemetry; the game's motion and
//                 force-feedback packets, often sent to the same port, differ
//   4   6 bytes   rest of the header (size, tick), not interpreted
//   10  s8        number of indicator blocks: 0 while the game is paused;
//                 otherwise at least one block is read
//   11  blocks    u16 indicator id, s8 value count n, n IEEE singles
//   ..  events    not interpreted
//
// A datagram carries only some indicators; the reader keeps the latest value
// of each and derives a record from all of them on every tick that brought a
// telemetry datagram with indicator blocks; only the newest telemetry
// datagram of a tick counts. A tick without one emits an invalid all-zero
// record (a paused game too, keeping the indicators for when it resumes); a
// tick whose datagrams were all empty emits nothing.
class Il2TelemetryReader : public TelemetryReader
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 29777;
    static constexpr int kArrayIndicators = 6;  // ids 0..5
    static constexpr int kArrayCapacity = 4;    // one value per engine or gear leg
    static constexpr int kAltitudeSamples = 25;
    static constexpr quint32 kTelemetryPacketId = 0x54000101;

    // The latest value of every indicator this reader uses or tolerates.
    struct Indicators
    {
        struct Array
        {
            qint32 count = 0;  // 0..kArrayCapacity
            std::array<float, kArrayCapacity> values{};
        };
        // ids 0..5, one value per engine or gear leg: 0 times 1, pairwise,
        // gives thrust; 4 gear legs 0..1; 5 on the ground when its mean is
        // above 0.1; 2 and 3 unused.
        std::array<Array, kArrayIndicators> arrays{};
        float airspeed = 0.0f;          // id 6, indicated, m/s
        float aoa = 0.0f;               // id 7, radians
        std::array<float, 3> accel{};   // id 8, m/s²: longitudinal, vertical, lateral
        std::array<float, 2> unused9{}; // id 9
        float previousAltitude = 0.0f;  // id 10, m above the ground
        float flaps = 0.0f;             // id 11, 0..1
        float airbrake = 0.0f;          // id 12, 0..1
        // id 14, m/s, sent by newer game versions; id 13 (sideslip) is not used.
        float verticalSpeed = 0.0f;
        bool hasVerticalSpeed = false;
    };

    explicit Il2TelemetryReader(TelemetryHandler *handler, quint16 port = kPort);
    void poll() override;

    // Whether the datagram is one of the telemetry packets parse() reads.
    static bool isTelemetry(const char *data, qsizetype size);

    // Folds one telemetry datagram of `size` bytes into `state` (and its
    // altitude samples into the process-wide difference ring). Never reads
    // outside the datagram: parsing stops at the first block that does not
    // fit, keeping what came before. False for a datagram without indicator
    // blocks (a paused game), which leaves `state` as it was.
    static bool parse(const char *data, qsizetype size, Indicators &state);

    // The record `state` and the difference ring give.
    static TelemetryData derive(const Indicators &state);

private:
    QUdpSocket socket;
    QByteArray scratch;
    QByteArray newestTelemetry;
    Indicators indicators;
};
