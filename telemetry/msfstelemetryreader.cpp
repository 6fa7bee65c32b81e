#include "msfstelemetryreader.h"

#include "simconnect.h"
#include "singleprecision.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

static_assert(std::is_same_v<HANDLE, void *>, "the reader keeps the handle as void *");

using namespace vorkast;

namespace {

constexpr SIMCONNECT_DATA_DEFINITION_ID kDefinition = 0;
constexpr SIMCONNECT_DATA_REQUEST_ID kRequest = 0;
constexpr SIMCONNECT_CLIENT_EVENT_ID kSimStart = 0;
constexpr SIMCONNECT_CLIENT_EVENT_ID kSimStop = 1;
constexpr DWORD kUserAircraftOnly = 0;  // radius 0: the user's aircraft alone

struct Variable
{
    const char *name;
    const char *unit;
};

// Data definition 0; the answer's block holds one double per entry, in this order.
constexpr auto kVariables = std::to_array<Variable>({
    {"SIM ON GROUND", "Bool"},
    {"TRAILING EDGE FLAPS LEFT PERCENT", "percent over 100"},
    {"TRAILING EDGE FLAPS RIGHT PERCENT", "percent over 100"},
    {"AILERON TRIM PCT", "percent over 100"},
    {"ELEVATOR TRIM PCT", "percent over 100"},
    {"RUDDER TRIM PCT", "percent over 100"},
    {"G FORCE", "GForce"},
    {"INCIDENCE ALPHA", "degree"},
    {"AIRSPEED INDICATED", "kilometer per hour"},
    {"GEAR CENTER POSITION", "percent over 100"},
    {"GEAR LEFT POSITION", "percent over 100"},
    {"GEAR RIGHT POSITION", "percent over 100"},
    {"PROP THRUST:1", "kg"},
    {"PROP THRUST:2", "kg"},
    {"PROP THRUST:3", "kg"},
    {"PROP THRUST:4", "kg"},
    {"VERTICAL SPEED", "m/s"},
});

enum Slot {
    OnGround, FlapsLeft, FlapsRight, AileronTrim, ElevatorTrim, RudderTrim, GForce, Alpha,
    Airspeed, GearCenter, GearLeft, GearRight, Thrust1, Thrust2, Thrust3, Thrust4, VerticalSpeed
};

using Block = std::array<double, kVariables.size()>;

// The block starts at dwData, the last member of the data message.
constexpr std::size_t kBlockOffset = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE) - sizeof(DWORD);
static_assert(kBlockOffset == 40);

bool simulatorReachable()
{
#if defined(VORKAST_SIMCONNECT_SDK)
    return true;
#else
    return vorkast::simConnectAvailable();
#endif
}

#ifdef Q_OS_WIN
const QString kNoSimConnect = QStringLiteral(
    "MSFS telemetry: SimConnect is not available; put SimConnect.dll beside the program and restart");
#else
const QString kNoSimConnect =
    QStringLiteral("MSFS telemetry: SimConnect is not available on this system");
#endif

void writeLine(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::int8_t trimPercent(double fraction)
{
    return static_cast<std::int8_t>(truncatedLowByte(fraction * kPercentPerFraction));
}

TelemetryData recordFrom(const Block &v)
{
    TelemetryData data;
    data.valid = true;
    data.trim_override = true;
    data.on_ground = v[OnGround] > 0.0;
    data.flaps = truncatedLowByte((v[FlapsLeft] + v[FlapsRight]) * 0.5 * kPercentPerFraction);
    data.trim_roll = trimPercent(v[AileronTrim]);
    data.trim_pitch = trimPercent(v[ElevatorTrim]);
    data.trim_yaw = trimPercent(v[RudderTrim]);
    data.g_force = toSingle(v[GForce]);
    data.aoa = toSingle(v[Alpha]);
    data.airspeed = toSingle(v[Airspeed]);
    data.vertical_speed = toSingle(v[VerticalSpeed]);
    data.gear =
        truncatedLowByte((v[GearLeft] + v[GearRight] + v[GearCenter]) / 3.0 * kPercentPerFraction);
    data.thrust = toSingle(v[Thrust1] + v[Thrust2] + v[Thrust3] + v[Thrust4]);
    return data;
}

void requestData(HANDLE connection)
{
    SimConnect_RequestDataOnSimObjectType(connection, kRequest, kDefinition, kUserAircraftOnly,
                                          SIMCONNECT_SIMOBJECT_TYPE_USER);
}

// Handles one message of `size` bytes, filling `data` from a data answer.
// Nothing is read beyond `size`: a message too short for its kind is skipped.
void handleMessage(HANDLE connection, const SIMCONNECT_RECV *message, DWORD size,
                   TelemetryData &data)
{
    switch (message->dwID) {
    case SIMCONNECT_RECV_ID_EVENT: {
        if (size < sizeof(SIMCONNECT_RECV_EVENT))
            return;
        const auto *event = static_cast<const SIMCONNECT_RECV_EVENT *>(message);
        if (event->uEventID == kSimStart) {
            writeLine("Start ");
            requestData(connection);
        } else if (event->uEventID == kSimStop) {
            writeLine("Stop ");
        }
        return;
    }
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
        if (size < kBlockOffset)
            return;
        const auto *answer = static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE *>(message);
        if (answer->dwRequestID != kRequest)
            return;
        Block block;
        if (size >= kBlockOffset + sizeof block) {
            std::memcpy(block.data(), reinterpret_cast<const unsigned char *>(answer) + kBlockOffset,
                        sizeof block);
            data = recordFrom(block);
        }
        // Even a cut-short answer used up the request; without a new one the data would stop.
        requestData(connection);
        return;
    }
    case SIMCONNECT_RECV_ID_QUIT:
        return;
    default:
        writeLine("Received " + std::to_string(message->dwID));
        return;
    }
}

} // namespace

MSFSTelemetryReader::MSFSTelemetryReader(TelemetryHandler *handler)
    : TelemetryReader(handler)
{
    writeLine("Start MSFS 2020 telemetry ");
}

MSFSTelemetryReader::~MSFSTelemetryReader()
{
    writeLine("Stop MSFS 2020 telemetry ");
    if (connection)
        SimConnect_Close(connection);
}

void MSFSTelemetryReader::connectToSimulator()
{
    HANDLE opened = nullptr;
    if (SimConnect_Open(&opened, "Vorkast", nullptr, 0, nullptr, 0) < 0 || !opened) {
        // Once per reader: it tries again every tick.
        if (!toldWhyNotConnected) {
            toldWhyNotConnected = true;
            emit handler->sourceProblem(simulatorReachable()
                                            ? QStringLiteral("MSFS is not running: MSFS telemetry "
                                                             "starts when it does")
                                            : kNoSimConnect);
        }
        return;
    }
    connection = opened;
    writeLine("Connected to MSFS 2020 ");
    for (const Variable &variable : kVariables)
        SimConnect_AddToDataDefinition(connection, kDefinition, variable.name, variable.unit,
                                       SIMCONNECT_DATATYPE_FLOAT64, 0.0f, SIMCONNECT_UNUSED);
    requestData(connection);
    SimConnect_SubscribeToSystemEvent(connection, kSimStart, "SimStart");
    SimConnect_SubscribeToSystemEvent(connection, kSimStop, "SimStop");
}

void MSFSTelemetryReader::poll()
{
    TelemetryData data;
    if (!connection)
        connectToSimulator();
    if (connection) {
        SIMCONNECT_RECV *message = nullptr;
        DWORD size = 0;
        if (SimConnect_GetNextDispatch(connection, &message, &size) >= 0 && message
            && size >= sizeof(SIMCONNECT_RECV))
            handleMessage(connection, message, size, data);
    }
    emit handler->telemetryUpdate(data);
}
