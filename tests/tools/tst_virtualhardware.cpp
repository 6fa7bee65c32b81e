#include "loopback.h"
#include "mainwindow.h"
#include "settingsmapping.h"
#include "testbytes.h"
#include "testmain.h"
#include "ui_mainwindow.h"
#include "virtualhardware.h"
#include "workdir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QMainWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <csignal>

// The try-without-hardware tool: its virtual controllers in this process, and
// the vorkast-virtual-hardware program as a user starts it.

namespace {

constexpr int kTimeoutMs = 10000;

bool said(const QSignalSpy &messages, const QString &text)
{
    for (const QList<QVariant> &message : messages) {
        if (message.first().toString().contains(text))
            return true;
    }
    return false;
}

// vorkast-virtual-hardware with the given arguments; stdout collected.
struct Tool
{
    QProcess process;
    QString output;

    explicit Tool(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("UMOCKDEV_DIR"));  // the tool makes its own bus
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { output += QString::fromUtf8(process.readAllStandardOutput()); });
        process.start(QStringLiteral(VORKAST_VIRTUAL_HARDWARE_PATH), arguments);
    }

    ~Tool()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kTimeoutMs);
        }
    }

    // The number of telemetry reports the summary line of `name` gives.
    int telemetryReports(const QString &name) const
    {
        const QRegularExpression line(
            name + QStringLiteral(R"(: \d+ settings reads, .* (\d+) telemetry reports)"));
        const QRegularExpressionMatch match = line.match(output);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
};

} // namespace

class TestVirtualHardware : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    void writeThenReadReturnsWhatWasWritten_data()
    {
        QTest::addColumn<bool>("pedals");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("write");
        QTest::addColumn<QByteArray>("read");
        QTest::newRow("joystick") << false << "joystick_maximum_thrust"
                                  << QByteArray("on_software_settings_save_clicked")
                                  << QByteArray("on_software_settings_read_clicked");
        QTest::newRow("pedals") << true << "pedals_maximum_thrust"
                                << QByteArray("on_pedal_software_settings_save_clicked")
                                << QByteArray("on_pedal_software_settings_read_clicked");
    }

    // Through the window's own write and read, in this process: the same code
    // the binary runs behind its buttons, which a test cannot click in another process.
    void writeThenReadReturnsWhatWasWritten()
    {
        QFETCH(bool, pedals);
        QFETCH(QString, control);
        QFETCH(QByteArray, write);
        QFETCH(QByteArray, read);

        VirtualHardware hardware;
        QSignalSpy messages(&hardware, &VirtualHardware::message);
        {
            MainWindow window(nullptr, testPorts());
            auto *box = window.findChild<QSpinBox *>(control);
            QVERIFY(box);
            // The controllers start with what the form's defaults give, and the window shows it.
            QMainWindow bare;
            Ui::MainWindow bareUi;
            bareUi.setupUi(&bare);
            JoystickSoftwareSettings shown{}, defaults{};
            vorkast::settings::SettingsControls(&window).store(shown);
            vorkast::settings::SettingsControls(&bare).store(defaults);
            QCOMPARE(bytesOf(shown), bytesOf(defaults));
            box->setValue(4321);

            QElapsedTimer elapsed;
            elapsed.start();
            QVERIFY(QMetaObject::invokeMethod(&window, write.constData(), Qt::DirectConnection));
            // The window polls the busy flag every 100 ms: busy twice, then ready.
            QVERIFY2(elapsed.elapsed() >= (VirtualHardware::kBusyReadsAfterWrite + 1) * 100,
                     qPrintable(QString::number(elapsed.elapsed())));

            box->setValue(7);
            QVERIFY(QMetaObject::invokeMethod(&window, read.constData(), Qt::DirectConnection));
            QCOMPARE(box->value(), 4321);
        }

        const VirtualHardware::Counts counts =
            pedals ? hardware.pedalsCounts() : hardware.joystickCounts();
        QCOMPARE(counts.effectWrites, 1);
        QCOMPARE(counts.systemWrites, 0);
        QVERIFY(said(messages, pedals ? "Pedals: effect settings written"
                                      : "Joystick: effect settings written"));

        // Kept for the run: a window started afterwards reads it at start-up.
        MainWindow restarted;
        QCOMPARE(restarted.findChild<QSpinBox *>(control)->value(), 4321);
    }

    void programRunsTheApplicationWithBothControllersFound_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no driver") << QStringList();
        QTest::newRow("HID driver") << QStringList{"--hid"};
    }

    // The real binary finds both controllers: only then does it read their
    // settings at start-up, and its tabs read without "(Not connected)".
    void programRunsTheApplicationWithBothControllersFound()
    {
        QFETCH(QStringList, arguments);
        Tool tool(arguments);  // the application built alongside
        QVERIFY(tool.process.waitForStarted(kTimeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(tool.output.contains("Joystick: connected, vorkast-settings"),
                                 kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(tool.output.contains("Pedals: connected, vorkast-settings"),
                                 kTimeoutMs);
        QTest::qWait(1000);  // some telemetry

        // As Ctrl+C or a kill would: the application ends first, the summary still comes.
        tool.process.terminate();
        QVERIFY(tool.process.waitForFinished(kTimeoutMs));
        QCOMPARE(tool.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.process.exitCode(), 128 + SIGTERM);
        for (const QString name : {"Joystick", "Pedals"}) {
            QVERIFY2(tool.output.contains(name + ": 2 settings reads, 0 effect and 0 system"),
                     qPrintable(tool.output));
            QVERIFY2(tool.telemetryReports(name) > 0, qPrintable(tool.output));
        }
    }

    void programPassesTheExitCodeOn()
    {
        Tool tool({"/bin/sh", "-c", "exit 7"});
        QVERIFY(tool.process.waitForFinished(kTimeoutMs));
        QCOMPARE(tool.process.exitCode(), 7);
        QVERIFY2(tool.output.contains("Joystick: 0 settings reads"), qPrintable(tool.output));
        QCOMPARE(tool.telemetryReports("Pedals"), 0);

        Tool missing({workDir.filePath("no-such-program")});
        QVERIFY(missing.process.waitForFinished(kTimeoutMs));
        QCOMPARE(missing.process.exitCode(), 127);
    }
};

VORKAST_USB_TEST_MAIN(TestVirtualHardware)
#include "tst_virtualhardware.moc"
