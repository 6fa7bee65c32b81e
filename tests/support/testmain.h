#pragma once

#include "emulatedusbbus.h"

#include <QApplication>
#include <QTest>

// QTEST_MAIN for tests that talk to controllers on an EmulatedUsbBus: the
// process first re-executes itself with umockdev's preload library, which must
// be loaded before libusb opens anything. QApplication-based so that window
// tests can use it; without a platform given it runs offscreen.
#define VORKAST_USB_TEST_MAIN(TestObject)                                        \
    int main(int argc, char *argv[])                                             \
    {                                                                            \
        EmulatedUsbBus::ensurePreloaded(argc, argv);                             \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                       \
            qputenv("QT_QPA_PLATFORM", "offscreen");                             \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();       \
        QApplication app(argc, argv);                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                 \
        TestObject tc;                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                               \
        return QTest::qExec(&tc, argc, argv);                                    \
    }
