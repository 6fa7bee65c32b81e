#include "testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real application binary, started offscreen on the emulated bus.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void startsOnBusWithBothControllersAndKeepsRunning()
    {
        EmulatedUsbBus bus;
        VirtualController &joystick = bus.attach(VirtualController::Kind::Joystick);
        VirtualController &pedals = bus.attach(VirtualController::Kind::Pedals);

        QTemporaryDir workDir;
        QVERIFY(workDir.isValid());

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(env);  // carries LD_PRELOAD and UMOCKDEV_DIR
        app.setWorkingDirectory(workDir.path());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(VORKAST_APP_PATH), {});
        QVERIFY2(app.waitForStarted(5000), qPrintable(app.errorString()));

        // The start-up reads reach both controllers: effect, then hardware settings.
        const auto reads = [](const VirtualController &controller) {
            QList<std::uint8_t> ids;
            for (const auto &transfer : controller.transfers()) {
                if (transfer.isGetReport())
                    ids << transfer.reportId();
            }
            return ids;
        };
        const QList<std::uint8_t> startupReads{0x1F, 0x20};
        QTRY_COMPARE_WITH_TIMEOUT(reads(joystick), startupReads, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(reads(pedals), startupReads, 10000);

        // Then telemetry from the DCS source (nothing sending: invalid records),
        // the first report of the process to the pedals, then strictly alternating.
        QTRY_VERIFY_WITH_TIMEOUT(joystick.telemetryReports().size() >= 3, 10000);
        const auto reportOrder = [](const VirtualController &controller) {
            QList<quint64> order;
            for (const auto &transfer : controller.transfers()) {
                if (transfer.isSetReport())
                    order << transfer.sequence;
            }
            return order;
        };
        const QList<quint64> pedalsSeq = reportOrder(pedals);
        const QList<quint64> joystickSeq = reportOrder(joystick);
        QVERIFY(!pedalsSeq.isEmpty());
        QVERIFY(pedalsSeq.first() < joystickSeq.first());
        for (int i = 0; i + 1 < joystickSeq.size() && i + 1 < pedalsSeq.size(); ++i) {
            QVERIFY(pedalsSeq[i] < joystickSeq[i]);
            QVERIFY(joystickSeq[i] < pedalsSeq[i + 1]);
        }
        for (const QByteArray &report : pedals.telemetryReports())
            QCOMPARE(report.mid(2), QByteArray(63, '\0'));  // no valid record yet

        // Still up a while later, its event loop running.
        QTest::qWait(1000);
        QCOMPARE(app.state(), QProcess::Running);
        QVERIFY(QFileInfo(QDir(workDir.path()).filePath("profiles")).isDir());

        app.kill();
        QVERIFY(app.waitForFinished(10000));
    }
};

VORKAST_USB_TEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
