#include "benchstats.h"
#include "dcstelemetryreader.h"
#include "il2telemetryreader.h"
#include "telemetryhandler.h"
#include "warthundertelemetryreader.h"
#include "benchrig.h"

#include <QApplication>
#include <QByteArray>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

// What one datagram, one state page and one telemetry tick cost. Run with
// repetitions (scripts/bench.sh does): each benchmark then reports the median
// and the 99th percentile over its repetitions.

namespace {

// A jet in a climbing turn, flaps half out, gear down.
const QByteArray kDcsDatagram = "0;452.73;-3.21;1.35;4.71;6512.5;0.5;0;0;1;0;0;1";

// Indicators 0..12, as IL-2 sends them for a twin-engine aircraft: one value
// per engine or gear leg where the indicator has several.
QByteArray il2Datagram(float altitude)
{
    // Header: the telemetry packet id, then size and tick (not read).
    QByteArray datagram = QByteArray::fromHex("01 01 00 54") + QByteArray(6, '\0');
    datagram.append(char(13));
    const auto block = [&](quint16 id, std::initializer_list<float> values) {
        char raw[2];
        qToLittleEndian(id, raw);
        datagram.append(raw, 2);
        datagram.append(char(values.size()));
        for (float value : values) {
            char bytes[4];
            qToLittleEndian(value, bytes);
            datagram.append(bytes, 4);
        }
    };
    block(0, {2450.0f, 2430.0f});    // engine speed
    block(1, {0.92f, 0.90f});        // engine power
    block(2, {0.0f, 0.0f});
    block(3, {0.0f, 0.0f});
    block(4, {1.0f, 1.0f, 1.0f});    // gear legs
    block(5, {0.0f, 0.0f, 0.0f});    // on ground
    block(6, {118.5f});              // airspeed
    block(7, {0.061f});              // angle of attack
    block(8, {1.42f, 0.05f, -0.02f});
    block(9, {0.0f, 0.0f});
    block(10, {altitude});
    block(11, {0.25f});
    block(12, {0.0f});
    return datagram;
}

// A /state page of a twin-engine aircraft: 62 keys, about 1.6 kB.
QByteArray warthunderStatePage()
{
    QByteArray page = R"({"valid": true, "aileron, %": -12, "elevator, %": 8, "rudder, %": 0,
        "flaps, %": 20, "gear, %": 100, "airbrake, %": 0, "H, m": 1523, "TAS, km/h": 462,
        "IAS, km/h": 420, "M": 0.38, "AoA, deg": 5.5, "AoS, deg": -0.3, "Ny": 2.1,
        "Vy, m/s": 7.4, "Wx, deg/s": 12, "Mfuel, kg": 512, "Mfuel0, kg": 720)";
    for (int engine = 1; engine <= 2; ++engine) {
        const QByteArray n = QByteArray::number(engine);
        page += ", \"throttle " + n + R"(, %": 87, "RPM throttle )" + n + R"(, %": 90, "mixture )"
            + n + R"(, %": 100, "radiator )" + n + R"(, %": 45, "compressor stage )" + n
            + R"(": 1, "magneto )" + n + R"(": 3, "power )" + n + R"(, hp": 1420.5, "RPM )" + n
            + R"(": 2650, "manifold pressure )" + n + R"(, atm": 1.32, "water temp )" + n
            + R"(, C": 96, "oil temp )" + n + R"(, C": 78, "pitch )" + n + R"(, deg": 34.2, "thrust )"
            + n + R"(, kgs": 812, "efficiency )" + n + R"(, %": 79, "boost )" + n
            + R"(, atm": 0.3, "prop RPM )" + n + R"(": 1320, "fuel pressure )" + n
            + R"(, kg/cm2": 1.1, "oil pressure )" + n + R"(, kg/cm2": 5.4, "cylinder head temp )"
            + n + R"(, C": 190, "carb temp )" + n + R"(, C": 12, "supercharger )" + n + R"(": 1)";
    }
    page += "}";
    return page;
}

void BM_DcsDatagram(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DcsTelemetryReader::parse(kDcsDatagram));
    state.SetLabel(QByteArray::number(kDcsDatagram.size()).toStdString() + " bytes");
}

// Parse and derive: what a tick with one datagram costs the IL-2 source.
void BM_Il2Datagram(benchmark::State &state)
{
    // Two altitudes in turn, so every datagram feeds the difference ring.
    const QByteArray datagrams[2] = {il2Datagram(1500.0f), il2Datagram(1502.5f)};
    Il2TelemetryReader::Indicators indicators;
    int next = 0;
    for (auto _ : state) {
        const QByteArray &datagram = datagrams[next];
        next ^= 1;
        Il2TelemetryReader::parse(datagram.constData(), datagram.size(), indicators);
        benchmark::DoNotOptimize(Il2TelemetryReader::derive(indicators));
    }
    state.SetLabel(QByteArray::number(datagrams[0].size()).toStdString() + " bytes");
}

void BM_WarthunderStatePage(benchmark::State &state)
{
    const QByteArray page = warthunderStatePage();
    for (auto _ : state)
        benchmark::DoNotOptimize(WarthunderTelemetryReader::parse(page));
    state.SetLabel(QByteArray::number(page.size()).toStdString() + " bytes");
}

// The window on an emulated bus, and a telemetry handler of the benchmark's
// own connected to it as the window's is; built outside every timing, again
// only when a benchmark wants other controllers.
std::unique_ptr<BenchRig> rig;
std::unique_ptr<TelemetryHandler> handler;

void useRig(bool withPedals)
{
    if (rig && (rig->pedals != nullptr) == withPedals)
        return;
    handler.reset();
    rig.reset();
    rig = std::make_unique<BenchRig>(true, withPedals);
    rig->start().show();
    QApplication::processEvents();
    handler = std::make_unique<TelemetryHandler>(nullptr);
    QObject::connect(handler.get(), &TelemetryHandler::telemetryUpdate, rig->window.get(),
                     &MainWindow::telemetryReceived);
}

// One record through a handler's telemetryUpdate to the window's
// telemetryReceived: held packet, view refresh and the report through libusb
// to the emulated bus, each call timed on its own. The event loop does
// not run meanwhile, so the window's own 20 ms ticks stay out of it; painting
// the refreshed view happens later, in the event loop, and is not counted here.
// Argument: 1 with both controllers, 0 with the pedals missing all along.
void BM_TelemetryTick(benchmark::State &state)
{
    useRig(state.range(0) != 0);
    TelemetryData record;
    record.valid = true;
    record.g_force = 1.35f;
    record.aoa = 4.7f;
    record.flaps = 50;
    std::vector<double> samplesNs;
    samplesNs.reserve(100000);
    for (auto _ : state) {
        record.airspeed = float(samplesNs.size() % 900);
        const auto start = std::chrono::steady_clock::now();
        emit handler->telemetryUpdate(record);
        samplesNs.push_back(
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                .count());
        if (samplesNs.size() % 1000 == 0) {
            state.PauseTiming();
            rig->joystick->clearTransfers();
            if (rig->pedals)
                rig->pedals->clearTransfers();
            state.ResumeTiming();
        }
    }
    const Summary summary = summarize(samplesNs);
    state.counters["call_p50_us"] = summary.median / 1000.0;
    state.counters["call_p99_us"] = summary.p99 / 1000.0;
    state.counters["call_max_us"] = summary.max / 1000.0;
}

double p99(const std::vector<double> &values)
{
    return summarize(values).p99;
}

} // namespace

BENCHMARK(BM_DcsDatagram)->ComputeStatistics("p99", p99);
BENCHMARK(BM_Il2Datagram)->ComputeStatistics("p99", p99);
BENCHMARK(BM_WarthunderStatePage)->ComputeStatistics("p99", p99);
BENCHMARK(BM_TelemetryTick)
    ->ArgName("pedals")
    ->Arg(1)
    ->Arg(0)
    ->ComputeStatistics("p99", p99)
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    EmulatedUsbBus::ensurePreloaded(argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    handler.reset();
    rig.reset();
    return 0;
}
