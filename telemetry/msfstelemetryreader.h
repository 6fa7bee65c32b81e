#pragma once

#include "telemetryreader.h"

// Microsoft Flight Simulator 2020 through SimConnect. Every tick it tries to
// connect until that succeeds, then takes exactly one SimConnect message per
// tick; each answer to its data request becomes one valid record and is
// followed by the next request. Every tick emits a record: all zero and not
// valid unless it handled a data answer. Progress goes to standard output.
class MSFSTelemetryReader : public TelemetryReader
{
    Q_OBJECT

public:
    explicit MSFSTelemetryReader(TelemetryHandler *handler);
    ~MSFSTelemetryReader() override;
    void poll() override;

private:
    void connectToSimulator();

    // The SimConnect HANDLE (void * in every SimConnect); null while disconnected.
    // Kept untyped so that this header does not pull in <windows.h> with the SDK.
    void *connection = nullptr;
    bool toldWhyNotConnected = false;
};
