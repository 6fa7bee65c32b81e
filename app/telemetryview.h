#pragma once

#include "telemetrypacket.h"

class TelemetryGraph;

namespace Ui {
class MainWindow;
}

namespace vorkast {

// Shows the packet last sent in the telemetry_out_ fields of the window.
void showTelemetryPacket(const TelemetryPacket &packet, Ui::MainWindow &view);

// The graph of the last seconds, placed below the "Telemetry debug" group.
TelemetryGraph *addTelemetryGraph(Ui::MainWindow &view);

} // namespace vorkast
