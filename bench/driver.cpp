#include "benchstats.h"
#include "dcstelemetryreader.h"
#include "emulatedusbbus.h"
#include "protocol.h"
#include "telemetrypacket.h"
#include "benchrig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <chrono>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include <unistd.h>

// The end-to-end figures: the real application started on the emulated bus,
// fed DCS datagrams over loopback, watched from the virtual controllers and
// from /proc. Linux only, as the emulated bus is.

namespace {

using namespace vorkast::protocol;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kTick = 20ms;

struct Options
{
    int datagrams = 2000;
    int cpuSeconds = 30;
    int startupRuns = 20;
    int roundTrips = 10;
    bool quick = false;
    bool costOnly = false;
    bool latencyOnly = false;
};

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

void print(const char *format, auto... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

QString summaryText(const Summary &s, const char *unit)
{
    return QStringLiteral("median %1 %4  p99 %2 %4  max %3 %4")
        .arg(s.median, 0, 'f', 2)
        .arg(s.p99, 0, 'f', 2)
        .arg(s.max, 0, 'f', 2)
        .arg(QLatin1String(unit));
}

// ---- the application as a process ------------------------------------------

QProcessEnvironment appEnvironment()
{
    // Carries LD_PRELOAD and UMOCKDEV_DIR, so the child sees the bus.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

class RunningApp
{
public:
    explicit RunningApp(const QTemporaryDir &workDir,
                        const QString &program = QStringLiteral(VORKAST_APP_PATH),
                        const QStringList &arguments = {})
    {
        process.setProcessEnvironment(appEnvironment());
        process.setWorkingDirectory(workDir.path());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        if (!process.waitForStarted(10000))
            fail("cannot start the application: " + process.errorString());
    }
    ~RunningApp()
    {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }

private:
    QProcess process;
};

// Seconds of CPU (user and system) the process has used so far.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        fail("cannot read " + stat.fileName());
    const QByteArray line = stat.readAll();
    // The command name may hold spaces; the fields after it do not.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        fail("unexpected " + stat.fileName());
    const double ticks = fields[11].toDouble() + fields[12].toDouble();  // utime, stime
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        fail("cannot read " + status.fileName());
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    fail("no VmRSS in " + status.fileName());
}

// The telemetry reports among a controller's transfers.
struct Report
{
    std::int64_t arrivedNs;
    bool valid;
    float airspeed;
};

std::vector<Report> telemetryReports(const QList<VirtualController::Transfer> &transfers)
{
    std::vector<Report> reports;
    for (const auto &transfer : transfers) {
        const QByteArray &data = transfer.data;
        if (!transfer.isSetReport() || data.size() < 2 + qsizetype(sizeof(TelemetryPacket)) || data[1] != char(kCommandTelemetry))
            continue;
        TelemetryPacket packet;
        std::memcpy(&packet, data.constData() + 2, sizeof packet);
        reports.push_back({transfer.arrivedNs, (packet.flags & TelemetryFlags::Valid) != 0,
                           packet.airspeed});
    }
    return reports;
}

// Waits until the application runs its ticks: start-up reads done, reports arriving.
void awaitTicks(const std::vector<VirtualController *> &present, const RunningApp &app)
{
    const auto deadline = Clock::now() + 20s;
    for (VirtualController *controller : present) {
        while (telemetryReports(controller->transfers()).size() < 3) {
            if (!app.running() || Clock::now() > deadline)
                fail("the application sent no telemetry to a controller on the bus");
            std::this_thread::sleep_for(5ms);
        }
    }
}

// ---- end-to-end latency ----------------------------------------------------

struct LatencyResult
{
    Summary latencyMs;
    int sent = 0;
    int superseded = 0;   // a newer datagram came before the tick that would have taken it
    int absentTurn = 0;   // the tick that took it was an absent controller's
};

// Sends `count` datagrams, the i-th (from 1) carrying airspeed i, every
// 20 ms + 20 ms / count: at 50 Hz, but each meeting the application's tick at
// another phase, once around the tick over the run. Returns their send times.
std::vector<std::int64_t> sendDatagrams(int count, const std::function<void()> &everySecond = {})
{
    QUdpSocket sender;
    const std::chrono::nanoseconds tick = kTick;
    const auto period = tick + tick / count;
    std::vector<std::int64_t> sentNs(count + 1, 0);
    const auto start = Clock::now() + 10ms;
    for (int i = 1; i <= count; ++i) {
        std::this_thread::sleep_until(start + period * (i - 1));
        const QByteArray datagram = "0;" + QByteArray::number(i) + ";0;1;0;0;0;0;0;0;0;0;1";
        sentNs[i] = nowNs();
        sender.writeDatagram(datagram, QHostAddress::LocalHost, DcsTelemetryReader::kPort);
        if (everySecond && i % 50 == 0)
            everySecond();
    }
    return sentNs;
}

LatencyResult measureLatency(VirtualController *joystick, VirtualController *pedals, int count)
{
    std::vector<VirtualController *> present;
    for (VirtualController *controller : {pedals, joystick}) {
        if (controller)
            present.push_back(controller);
    }
    QTemporaryDir workDir;
    RunningApp app(workDir);
    awaitTicks(present, app);
    for (VirtualController *controller : present)
        controller->clearTransfers();

    const std::vector<std::int64_t> sentNs = sendDatagrams(count);
    std::this_thread::sleep_for(200ms);

    std::vector<Report> reports;
    for (VirtualController *controller : present) {
        const std::vector<Report> own = telemetryReports(controller->takeTransfers());
        reports.insert(reports.end(), own.begin(), own.end());
    }
    std::sort(reports.begin(), reports.end(),
              [](const Report &a, const Report &b) { return a.arrivedNs < b.arrivedNs; });

    std::map<int, std::int64_t> firstArrival;
    for (const Report &report : reports) {
        const int i = int(report.airspeed);
        if (report.valid && i >= 1 && i <= count && float(i) == report.airspeed)
            firstArrival.try_emplace(i, report.arrivedNs);
    }

    // The ticks: every report is one; with one controller present, the absent
    // one's turns fall halfway between.
    struct Tick
    {
        std::int64_t ns;
        bool absent;
    };
    std::vector<Tick> ticks;
    for (std::size_t k = 0; k < reports.size(); ++k) {
        ticks.push_back({reports[k].arrivedNs, false});
        if (present.size() == 1 && k + 1 < reports.size())
            ticks.push_back({(reports[k].arrivedNs + reports[k + 1].arrivedNs) / 2, true});
    }

    LatencyResult result;
    result.sent = count;
    std::vector<double> latencies;
    for (int i = 1; i <= count; ++i) {
        if (const auto found = firstArrival.find(i); found != firstArrival.end()) {
            latencies.push_back(double(found->second - sentNs[i]) / 1e6);
            continue;
        }
        const auto taker = std::find_if(ticks.begin(), ticks.end(),
                                        [&](const Tick &tick) { return tick.ns > sentNs[i]; });
        if (taker != ticks.end() && taker->absent)
            ++result.absentTurn;
        else
            ++result.superseded;
    }
    result.latencyMs = summarize(latencies);
    return result;
}

void reportLatency(const char *setup, const LatencyResult &r, bool withTarget)
{
    const double lost = 100.0 * (r.superseded + r.absentTurn) / r.sent;
    print("  %-17s %s\n", setup, qPrintable(summaryText(r.latencyMs, "ms")));
    print("  %-17s never reached a controller: %.1f %% (superseded %.1f %%, absent "
          "controller's turn %.1f %%)\n",
          "", lost, 100.0 * r.superseded / r.sent, 100.0 * r.absentTurn / r.sent);
    if (withTarget) {
        const double target = 22.0;
        print("  %-17s target: p99 at most one tick plus 2 ms (%.0f ms): %s\n", "", target,
              verdict(r.latencyMs.p99 <= target));
    }
}

// ---- cost of running -------------------------------------------------------

struct Cost
{
    double streaming = 0.0;  // share of one core
    double idle = 0.0;
    double residentMiB = 0.0;
};

// The CPU time of `program` (the application unless said) over `seconds` of
// 50 Hz DCS datagrams, then over as long without any, with `present` on the bus.
Cost measureCost(const std::vector<VirtualController *> &present, int seconds,
                 const QString &program = QStringLiteral(VORKAST_APP_PATH),
                 const QStringList &arguments = {})
{
    QTemporaryDir workDir;
    RunningApp app(workDir, program, arguments);
    if (present.empty())
        std::this_thread::sleep_for(2s);
    else
        awaitTicks(present, app);
    Cost cost;
    cost.residentMiB = residentMiB(app.pid());
    const auto drain = [&] {
        for (VirtualController *controller : present)
            controller->clearTransfers();
    };

    double before = cpuSeconds(app.pid());
    auto start = Clock::now();
    sendDatagrams(seconds * 50, drain);
    cost.streaming = (cpuSeconds(app.pid()) - before)
        / std::chrono::duration<double>(Clock::now() - start).count();

    std::this_thread::sleep_for(1s);  // past the one second an old packet is held
    before = cpuSeconds(app.pid());
    start = Clock::now();
    for (int s = 0; s < seconds; ++s) {
        std::this_thread::sleep_for(1s);
        drain();
    }
    cost.idle = (cpuSeconds(app.pid()) - before)
        / std::chrono::duration<double>(Clock::now() - start).count();
    if (!app.running())
        fail("the application ended while being measured");
    return cost;
}

// The application with no controller against the bare program, side by side:
// each measured in turn, `rounds` times, so that a busy spell of the machine
// falls on all alike. The bare program also runs as a widgets program with an
// empty window, which tells the toolkit's share from the tool's.
void compareWithBareProgram(int seconds, int rounds)
{
    const QString bare = QStringLiteral(VORKAST_BARE_TELEMETRY_PATH);
    Cost app, core, widgets;
    const auto add = [](Cost &sum, const Cost &one) {
        sum.streaming += one.streaming;
        sum.idle += one.idle;
    };
    for (int round = 0; round < rounds; ++round) {
        add(app, measureCost({}, seconds));
        add(core, measureCost({}, seconds, bare));
        add(widgets, measureCost({}, seconds, bare, {QStringLiteral("--widgets")}));
    }
    print("  no controller, against a bare Qt program (a 20 ms timer draining the DCS port), "
          "%d rounds of %d s, %% of one core:\n", rounds, seconds);
    const auto line = [&](const char *what, double tool, double plain, double widget) {
        print("    %-22s %.2f %%; bare program %.2f %% (%.2fx), as a widgets program %.2f %% (%.2fx)\n",
              what, 100.0 * tool / rounds, 100.0 * plain / rounds, tool / plain,
              100.0 * widget / rounds, tool / widget);
    };
    line("streaming DCS at 50 Hz:", app.streaming, core.streaming, widgets.streaming);
    line("idle:", app.idle, core.idle, widgets.idle);
    print("    target: within 1.2x of the bare program, both: %s\n",
          verdict(app.streaming <= 1.2 * core.streaming && app.idle <= 1.2 * core.idle));
}

void reportCost(const Cost &none, const Cost &both, int seconds)
{
    print("  streaming DCS at 50 Hz for %d s: %.2f %% of one core with both controllers, "
          "%.2f %% with none\n", seconds, 100.0 * both.streaming, 100.0 * none.streaming);
    print("  target: under 1 %% of one core with both controllers: %s\n",
          verdict(both.streaming < 0.01));
    print("  idle (DCS source on, nothing sent) for %d s: %.2f %% with both controllers, "
          "%.2f %% with none\n", seconds, 100.0 * both.idle, 100.0 * none.idle);
    print("  resident memory after start-up: %.1f MiB with both controllers, %.1f MiB with none\n",
          both.residentMiB, none.residentMiB);
}

// ---- start-up --------------------------------------------------------------

// Milliseconds from starting `program` to its "window shown" on stderr.
double timeToWindow(const QString &program)
{
    QTemporaryDir workDir;
    QProcess process;
    process.setProcessEnvironment(appEnvironment());
    process.setWorkingDirectory(workDir.path());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    QByteArray said;
    while (!said.contains("window shown\n")) {
        if (!process.waitForReadyRead(20000))
            fail(program + " never showed its window");
        said += process.readAllStandardError();
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return ms;
}

Summary startupTimes(const QString &program, int runs)
{
    timeToWindow(program);  // warm the file cache
    std::vector<double> times;
    for (int run = 0; run < runs; ++run)
        times.push_back(timeToWindow(program));
    return summarize(times);
}

// ---- settings round trip ---------------------------------------------------

void measureRoundTrip(int runs)
{
    BenchRig rig(true, false);
    VirtualController &joystick = *rig.joystick;
    rig.start();
    std::vector<double> totals;
    std::vector<double> beyondPause;
    int statusPolls = 0;
    for (int run = 0; run < runs; ++run) {
        joystick.clearTransfers();
        QElapsedTimer clock;
        clock.start();
        rig.invoke("on_software_settings_save_clicked");
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        totals.push_back(ms);
        beyondPause.push_back(ms - 100.0);
        statusPolls = 0;
        for (const auto &transfer : joystick.transfers())
            statusPolls += transfer.isGetReport() && transfer.reportId() == kStatusReportId;
    }
    if (joystick.completedWrites(kCommandEffectChunk) != runs)
        fail("a settings save did not reach the joystick whole");
    print("  whole save (write, %d status poll, pause, read back): %s\n", statusPolls,
          qPrintable(summaryText(summarize(totals), "ms")));
    print("  beyond the 100 ms pause:                              %s\n",
          qPrintable(summaryText(summarize(beyondPause), "ms")));
}

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (const QString &argument : arguments.mid(1)) {
        if (argument == "--quick") {
            options = {50, 1, 2, 2, true, options.costOnly, options.latencyOnly};
        } else if (argument == "--cost") {
            options.costOnly = true;
        } else if (argument == "--latency") {
            options.latencyOnly = true;
        } else {
            std::fprintf(stderr, "usage: vorkast-bench [--quick] [--cost | --latency]\n");
            std::exit(2);
        }
    }
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    EmulatedUsbBus::ensurePreloaded(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const Options options = parseOptions(QCoreApplication::arguments());

    try {
        Cost idleBus;
        if (options.costOnly) {
            EmulatedUsbBus empty;
            print("Cost of running\n");
            compareWithBareProgram(options.cpuSeconds, options.quick ? 1 : 3);
            return 0;
        }
        if (!options.latencyOnly) {
            print("Start-up to the window shown, %d runs each\n", options.startupRuns);
            Summary minimal, none, both;
            {
                EmulatedUsbBus empty;
                minimal = startupTimes(QStringLiteral(VORKAST_MINIMAL_PATH), options.startupRuns);
                none = startupTimes(QStringLiteral(VORKAST_STARTUP_PROBE_PATH), options.startupRuns);
                idleBus = measureCost({}, options.cpuSeconds);
            }
            {
                EmulatedUsbBus bus;
                bus.attach(VirtualController::Kind::Joystick);
                bus.attach(VirtualController::Kind::Pedals);
                both = startupTimes(QStringLiteral(VORKAST_STARTUP_PROBE_PATH), options.startupRuns);
            }
            print("  minimal Qt program: %s\n", qPrintable(summaryText(minimal, "ms")));
            print("  no controller:      %s  (%.2fx)\n", qPrintable(summaryText(none, "ms")),
                  none.median / minimal.median);
            print("  both controllers:   %s  (%.2fx)\n", qPrintable(summaryText(both, "ms")),
                  both.median / minimal.median);
            print("  target: within 3x the minimal program (medians): %s\n",
                  verdict(none.median <= 3 * minimal.median && both.median <= 3 * minimal.median));
        }

        print("End-to-end latency, sendto of a DCS datagram to its report at a controller, "
              "%d datagrams at 50 Hz\n", options.datagrams);
        {
            EmulatedUsbBus bus;
            VirtualController &joystick = bus.attach(VirtualController::Kind::Joystick);
            reportLatency("joystick only:", measureLatency(&joystick, nullptr, options.datagrams),
                          false);
        }
        {
            EmulatedUsbBus bus;
            VirtualController &joystick = bus.attach(VirtualController::Kind::Joystick);
            VirtualController &pedals = bus.attach(VirtualController::Kind::Pedals);
            reportLatency("both controllers:",
                          measureLatency(&joystick, &pedals, options.datagrams), true);
            if (options.latencyOnly)
                return 0;

            print("Cost of running\n");
            reportCost(idleBus, measureCost({&pedals, &joystick}, options.cpuSeconds),
                       options.cpuSeconds);
        }
        {
            EmulatedUsbBus empty;
            compareWithBareProgram(options.cpuSeconds, options.quick ? 1 : 3);
        }

        print("Settings round trip: joystick effect settings save, controller never busy, "
              "%d runs\n", options.roundTrips);
        measureRoundTrip(options.roundTrips);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "vorkast-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
