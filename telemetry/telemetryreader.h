#pragma once

#include <QObject>

class TelemetryHandler;

// One telemetry source, polled by its handler every 20 ms. poll() takes only
// what the source has already delivered (it must never block) and emits at
// most one record through the handler's telemetryUpdate signal.
class TelemetryReader : public QObject
{
public:
    explicit TelemetryReader(TelemetryHandler *handler) : handler(handler) {}
    virtual void poll() = 0;

protected:
    TelemetryHandler *handler;  // not owned; outlives the reader
};
