#pragma once

#include "loopback.h"
#include "records.h"
#include "settingsmapping.h"
#include "testbytes.h"
#include "ui_mainwindow.h"
#include "windowonbus.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <cstring>

// The window on an emulated bus (WindowOnBus), its network telemetry sources
// on the test program's free ports (testPorts()), with a test's means to look
// at it and drive it.
struct WindowRig : WindowOnBus
{
    using WindowOnBus::WindowOnBus;

    MainWindow &start() { return WindowOnBus::start(testPorts()); }

    template <typename T>
    T *control(const char *name) const
    {
        return window->findChild<T *>(name);
    }

    // The status bar's passing message.
    QString status() const { return control<QStatusBar>("statusbar")->currentMessage(); }

    QString tabText(int index) const
    {
        return control<QTabWidget>("main_tabplane")->tabText(index);
    }

    // The window on screen (offscreen) with tab `index` in front.
    void showTab(int index) const
    {
        window->show();
        control<QTabWidget>("main_tabplane")->setCurrentIndex(index);
    }

    // Runs a slot as its button would; a name the window has no slot of fails the test.
    void invoke(const char *slot) const { invokeSlot(window.get(), slot); }

    static void invokeSlot(QObject *window, const char *slot)
    {
        QVERIFY2(QMetaObject::invokeMethod(window, slot, Qt::DirectConnection),
                 qPrintable(QStringLiteral("no slot %1").arg(QLatin1StringView(slot))));
    }
};

// What the controls of a bare form make of `bytes`: what the window's first
// write of a record it read must send.
inline QByteArray throughForm(bool pedals, bool hardware, const QByteArray &bytes)
{
    QMainWindow form;
    Ui::MainWindow ui;
    ui.setupUi(&form);
    vorkast::settings::SettingsControls controls(&form);
    const auto trip = [&](auto record) {
        std::memcpy(&record, bytes.constData(), sizeof record);
        controls.show(record);
        controls.store(record);
        return bytesOf(record);
    };
    if (pedals)
        return hardware ? trip(PedalsHardwareSettings{}) : trip(PedalsSoftwareSettings{});
    return hardware ? trip(JoystickHardwareSettings{}) : trip(JoystickSoftwareSettings{});
}
