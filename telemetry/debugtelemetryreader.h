#pragma once

#include "telemetryreader.h"

namespace Ui {
class MainWindow;
}

// Turns the telemetry_in_ controls of the "Telemetry debug" group into a record
// on every tick, so the controllers' telemetry effects can be tried without a
// simulator.
class DebugTelemetryReader : public TelemetryReader
{
    Q_OBJECT

public:
    // `layout` (not owned) holds the input controls.
    DebugTelemetryReader(TelemetryHandler *handler, Ui::MainWindow *layout);
    void poll() override;

private:
    Ui::MainWindow *layout;
};
