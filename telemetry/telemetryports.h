#pragma once

#include <QtGlobal>

// The ports the network sources listen on or ask. The defaults are the ones
// the simulators use; tests give free ones, so that another program holding a
// simulator's port cannot disturb them.
struct TelemetryPorts
{
    quint16 dcs = 6666;         // UDP, all interfaces
    quint16 warthunder = 8111;  // TCP, the game's state page on 127.0.0.1
    quint16 il2 = 29777;        // UDP, all interfaces
};
