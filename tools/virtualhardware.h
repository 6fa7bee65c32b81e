#pragma once

#include "emulatedusbbus.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>

// A virtual joystick and virtual pedals on the tests' emulated USB bus, for
// trying the application without controllers: they keep whatever settings are
// written to them for as long as this object lives, answer reads, report busy
// for a moment after each write, and everything the application sends them is
// counted.
//
// The process must run with umockdev's preload library (see
// EmulatedUsbBus::ensurePreloaded); programs started with start() see the bus.
class VirtualHardware : public QObject
{
    Q_OBJECT

public:
    // Status reads answered "busy" after each completed write: enough for the
    // application's busy wait to poll more than once.
    static constexpr int kBusyReadsAfterWrite = 2;

    struct Counts
    {
        int settingsReads = 0;  // effect and system settings records read
        int effectWrites = 0;   // complete writes of the effect settings
        int systemWrites = 0;   // complete writes of the system (hardware) settings
        int telemetryReports = 0;
        int validTelemetryReports = 0;
        int dfuRequests = 0;
    };

    // `driver`: who holds the controllers' interface (EmulatedUsbBus::attach).
    explicit VirtualHardware(EmulatedUsbBus::Driver driver = EmulatedUsbBus::Driver::None,
                             QObject *parent = nullptr);
    ~VirtualHardware() override;

    VirtualController &joystick() { return *controllers[0]; }
    VirtualController &pedals() { return *controllers[1]; }

    // Starts `program` in the current directory with the bus in its
    // environment; its standard output and error pass through.
    void start(const QString &program, const QStringList &arguments = {});
    // Asks the program to end (SIGTERM), killing it if it has not after 5 s.
    void terminate();
    bool running() const { return application.state() != QProcess::NotRunning; }

    // What each controller has seen so far.
    Counts joystickCounts() { return counts(0); }
    Counts pedalsCounts() { return counts(1); }
    // One line per controller with its counts.
    QString summary();

signals:
    // Something worth telling the user happened: a controller was found by the
    // program, settings were written, telemetry turned valid or not valid.
    void message(const QString &line);
    // The program ended: its exit code, or 128 + the signal that ended it,
    // or 127 when it could not be started.
    void finished(int exitCode);

private:
    void holdFormDefaults();

    struct Seen
    {
        Counts counts;
        bool effectRead = false;
        bool systemRead = false;
        bool announced = false;
        bool telemetryValid = false;
    };

    Counts counts(int index);
    // Moves the controllers' transfer logs into the counts, so that a long
    // session does not keep every report in memory.
    void collect();
    void collect(int index);

    EmulatedUsbBus bus;
    std::array<VirtualController *, 2> controllers{};
    std::array<Seen, 2> seen{};
    QProcess application;
    QString programName;
    QTimer collector;
    QTimer killer;
};
