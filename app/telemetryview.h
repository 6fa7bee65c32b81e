#pragma once

#include "telemetrypacket.h"

namespace Ui {
class MainWindow;
}

namespace vorkast {

// Shows the packet last sent in the telemetry_out_ fields of the window.
void showTelemetryPacket(const TelemetryPacket &packet, Ui::MainWindow &view);

} // namespace vorkast
