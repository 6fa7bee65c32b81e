#pragma once

#include "telemetrypacket.h"
#include "telemetryports.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QAbstractSocket;
class TelemetryReader;

namespace Ui {
class MainWindow;
}

// Owns the active telemetry source and polls it every kPollIntervalMs from the
// moment it is constructed. Receivers connect once to telemetryUpdate and keep
// receiving across source changes.
class TelemetryHandler : public QObject
{
    Q_OBJECT

public:
    // Source selectors, in the order of the window's source list.
    enum Mode { Dcs = 0, Warthunder = 1, Msfs = 2, Il2 = 3, Debug = 4 };
    // A record per tick: kHeldInvalidRecords of them hold a packet for a second.
    static constexpr int kPollIntervalMs = 20;

    // `layout` (not owned) is handed to the debug source, which reads its inputs
    // there; the network sources use `ports`.
    explicit TelemetryHandler(Ui::MainWindow *layout, TelemetryPorts ports = {});
    ~TelemetryHandler() override;

    // Destroys the current source completely (sockets closed) before creating the
    // one for `mode`, so a source of the same kind can bind the same port again.
    // Any mode outside the list gives the debug source.
    void setMode(int mode);

    // One tick: polls the current source, if any.
    void pollReader();

    // For a source whose socket could not bind `port`: a warning on stderr and
    // a sourceProblem for the user.
    void reportUnboundSocket(const char *source, const QAbstractSocket &socket, quint16 port);

signals:
    void telemetryUpdate(TelemetryData telemetryData);
    // A source cannot work as it should, in plain words for the user.
    void sourceProblem(const QString &message);

private:
    Ui::MainWindow *layout;
    TelemetryPorts ports;
    std::unique_ptr<TelemetryReader> reader;
    QTimer timer;
};
