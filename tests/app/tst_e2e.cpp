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
        QTRY_COMPARE_WITH_TIMEOUT(joystick.transfers().size(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(pedals.transfers().size(), 2, 10000);
        for (VirtualController *controller : {&joystick, &pedals}) {
            const auto transfers = controller->transfers();
            QVERIFY(transfers[0].isGetReport());
            QCOMPARE(transfers[0].reportId(), std::uint8_t(0x1F));
            QVERIFY(transfers[1].isGetReport());
            QCOMPARE(transfers[1].reportId(), std::uint8_t(0x20));
        }

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
