#include "il2telemetryreader.h"

#include "datagramdrain.h"
#include "singleprecision.h"
#include "telemetryhandler.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

using namespace vorkast;

namespace {

constexpr qsizetype kBlockCountOffset = 10;
constexpr qsizetype kFirstBlockOffset = 11;
constexpr qsizetype kBlockHeaderSize = 3;   // u16 id, s8 count
constexpr qsizetype kValueCountOffset = 2;  // in a block
constexpr qsizetype kValueSize = 4;

enum Indicator : quint16 {
    // One value per engine; their products, pairwise, give thrust.
    ThrustFactorA = 0, ThrustFactorB = 1,
    Gear = 4,           // one value per leg, 0..1
    GroundContact = 5,  // one value per leg
    Airspeed = 6, Aoa = 7, Accel = 8, Unused9 = 9,
    Altitude = 10, Flaps = 11, Airbrake = 12, VerticalSpeed = 14
};

constexpr int kVerticalAccel = 1;              // index in id 8's vector
constexpr float kStandardGravity = 9.80665f;   // m/s² per G
constexpr double kKmhPerMs = 3.6;
// Rounded; records have always been made with it rather than 180/pi.
constexpr double kDegreesPerRadian = 57.2958;
constexpr float kThrustDivisor = 100000.0f;    // the mean product per engine to the record's scale
constexpr double kOnGroundAbove = 0.1;         // mean ground contact

// Shared by every IL-2 reader the process creates, so the climb over the
// recent altitude samples survives switching to another source and back.
std::array<float, Il2TelemetryReader::kAltitudeSamples> altitudeDifferences{};
int nextDifference = 0;

float valueAt(const char *values, int index)
{
    return std::bit_cast<float>(qFromLittleEndian<quint32>(values + index * kValueSize));
}

float nanToZero(float value)
{
    return std::isnan(value) ? 0.0f : value;
}

// In single precision, summed from index 0 up; no values give NaN, as 0/0 would.
float mean(const Il2TelemetryReader::Indicators::Array &array)
{
    if (array.count <= 0)
        return std::numeric_limits<float>::quiet_NaN();
    float sum = 0.0f;
    for (int i = 0; i < array.count; ++i)
        sum += array.values[i];
    return sum / static_cast<float>(array.count);
}

// One block's `count` values (all inside the datagram) into their slot. A slot
// takes no more values than it holds; values a block lacks stay as they were.
void store(quint16 id, const char *values, int count, Il2TelemetryReader::Indicators &state)
{
    const auto keep = [&](float *slot, int slotSize) {
        for (int i = 0; i < std::min(count, slotSize); ++i)
            slot[i] = valueAt(values, i);
    };

    if (id < Il2TelemetryReader::kArrayIndicators) {
        auto &array = state.arrays[id];
        array.count = std::min(count, Il2TelemetryReader::kArrayCapacity);
        keep(array.values.data(), array.count);
        return;
    }
    switch (id) {
    case Airspeed: keep(&state.airspeed, 1); break;
    case Aoa: keep(&state.aoa, 1); break;
    case Accel: keep(state.accel.data(), int(state.accel.size())); break;
    case Unused9: keep(state.unused9.data(), int(state.unused9.size())); break;
    case Flaps: keep(&state.flaps, 1); break;
    case Airbrake: keep(&state.airbrake, 1); break;
    case VerticalSpeed:
        if (count > 0) {
            state.verticalSpeed = valueAt(values, 0);
            state.hasVerticalSpeed = true;
        }
        break;
    case Altitude:
        if (count > 0) {
            const float altitude = valueAt(values, 0);
            altitudeDifferences[nextDifference] = altitude - state.previousAltitude;
            state.previousAltitude = altitude;
            nextDifference = (nextDifference + 1) % Il2TelemetryReader::kAltitudeSamples;
        }
        break;
    default:  // indicators this tool has no use for
        break;
    }
}

} // namespace

Il2TelemetryReader::Il2TelemetryReader(TelemetryHandler *handler, quint16 port)
    : TelemetryReader(handler)
{
    if (!socket.bind(QHostAddress::Any, port))
        handler->reportUnboundSocket("IL-2", socket, port);
}

void Il2TelemetryReader::poll()
{
    // A motion packet after the telemetry datagram must not displace it.
    const DrainedDatagrams drained = drainDatagrams(socket, newestTelemetry, scratch, &isTelemetry);
    if (drained.count > 0 && !drained.anyBytes)
        return;  // only empty datagrams
    const bool flying = drained.kept
        && parse(newestTelemetry.constData(), newestTelemetry.size(), indicators);
    emit handler->telemetryUpdate(flying ? derive(indicators) : TelemetryData{});
}

bool Il2TelemetryReader::isTelemetry(const char *data, qsizetype size)
{
    return size >= qsizetype(sizeof(quint32))
        && qFromLittleEndian<quint32>(data) == kTelemetryPacketId;
}

bool Il2TelemetryReader::parse(const char *data, qsizetype size, Indicators &state)
{
    if (size <= kBlockCountOffset)
        return false;
    const int announced = static_cast<qint8>(data[kBlockCountOffset]);
    if (announced == 0)
        return false;  // the game is paused
    // Otherwise the first block is read whatever the count says.
    const int blocks = std::max(1, announced);
    qsizetype offset = kFirstBlockOffset;
    for (int block = 0; block < blocks; ++block) {
        if (size - offset < kBlockHeaderSize)
            return true;
        const quint16 id = qFromLittleEndian<quint16>(data + offset);
        const int count = std::max(0, int(static_cast<qint8>(data[offset + kValueCountOffset])));
        const qsizetype length = kBlockHeaderSize + count * kValueSize;
        if (size - offset < length)
            return true;
        store(id, data + offset + kBlockHeaderSize, count, state);
        offset += length;
    }
    return true;
}

TelemetryData Il2TelemetryReader::derive(const Indicators &state)
{
    TelemetryData data;
    data.valid = true;
    // The single-precision mean against a double: a mean of exactly 0.1f lies
    // just above 0.1 and counts as on the ground.
    data.on_ground = static_cast<double>(mean(state.arrays[GroundContact])) > kOnGroundAbove;
    data.flaps = truncatedLowByte(state.flaps * kPercentPerFraction);
    data.airbrake = truncatedLowByte(state.airbrake * kPercentPerFraction);
    data.gear = truncatedLowByte(mean(state.arrays[Gear]) * kPercentPerFraction);

    const auto &first = state.arrays[ThrustFactorA];
    const auto &second = state.arrays[ThrustFactorB];
    if (first.count > 0) {
        // The second array is read at the first one's positions whatever its own count.
        float sum = 0.0f;
        for (int i = 0; i < first.count; ++i)
            sum += first.values[i] * second.values[i];
        data.thrust = nanToZero(sum / static_cast<float>(first.count) / kThrustDivisor);
    }

    data.airspeed = nanToZero(toSingle(static_cast<double>(state.airspeed) * kKmhPerMs));

    if (state.hasVerticalSpeed) {
        data.vertical_speed = nanToZero(state.verticalSpeed);
    } else {
        // Older game versions: the change of height above the ground over the
        // last samples, deliberately not per second.
        float climb = 0.0f;
        for (float difference : altitudeDifferences)
            climb += difference;
        data.vertical_speed = nanToZero(climb);
    }

    data.g_force = nanToZero(state.accel[kVerticalAccel] / kStandardGravity);
    data.aoa = nanToZero(toSingle(static_cast<double>(state.aoa) * kDegreesPerRadian));
    return data;
}
