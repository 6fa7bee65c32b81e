#pragma once

#include "windowonbus.h"

#include <QMetaObject>
#include <QtGlobal>

// The window on an emulated bus. Its network sources take the simulators' own
// ports: the benchmarks run alone.
struct BenchRig : WindowOnBus
{
    using WindowOnBus::WindowOnBus;

    MainWindow &start() { return WindowOnBus::start({}); }

    // Runs a slot as its button would.
    void invoke(const char *slot) const
    {
        if (!QMetaObject::invokeMethod(window.get(), slot, Qt::DirectConnection))
            qFatal("the window has no slot %s", slot);
    }
};
