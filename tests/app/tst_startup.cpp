#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

// Start-up of the window: controller detection, the captions that report a
// missing controller, the start-up reads, and the by-name slot connections.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    // The window opens with the focus on its tabs, not in a text field whose
    // blinking cursor would keep repainting it.
    void opensWithoutATextCursor()
    {
        WindowRig rig(false, false);
        rig.start();
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QTest::qWait(100);
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QCOMPARE(focus->parentWidget(), rig.control<QTabWidget>("main_tabplane"));
    }

    void captionsFollowDetection_data()
    {
        QTest::addColumn<bool>("joystick");
        QTest::addColumn<bool>("pedals");
        QTest::addColumn<QString>("joystickTab");
        QTest::addColumn<QString>("pedalsTab");
        QTest::newRow("none") << false << false << "Joystick (Not connected)"
                              << "Pedals (Not connected)";
        QTest::newRow("pedals only") << false << true << "Joystick (Not connected)" << "Pedals";
        QTest::newRow("joystick only") << true << false << "Joystick" << "Pedals (Not connected)";
        QTest::newRow("both") << true << true << "Joystick" << "Pedals";
    }

    void captionsFollowDetection()
    {
        QFETCH(bool, joystick);
        QFETCH(bool, pedals);
        QFETCH(QString, joystickTab);
        QFETCH(QString, pedalsTab);

        WindowRig rig(joystick, pedals);
        rig.start();
        QCOMPARE(rig.tabText(0), joystickTab);
        QCOMPARE(rig.tabText(1), pedalsTab);
        QCOMPARE(rig.tabText(2), QStringLiteral("Telemetry"));
    }

    // A controller that is present is read at start-up, effect settings first;
    // nothing else is sent to it.
    void startupReadsEffectThenHardware_data()
    {
        QTest::addColumn<bool>("joystick");
        QTest::addColumn<bool>("pedals");
        QTest::newRow("joystick only") << true << false;
        QTest::newRow("pedals only") << false << true;
        QTest::newRow("both") << true << true;
    }

    void startupReadsEffectThenHardware()
    {
        QFETCH(bool, joystick);
        QFETCH(bool, pedals);
        WindowRig rig(joystick, pedals);
        rig.start();

        for (VirtualController *controller : {rig.joystick, rig.pedals}) {
            if (!controller)
                continue;
            const auto transfers = controller->transfers();
            QCOMPARE(transfers.size(), 2);
            QVERIFY(transfers[0].isGetReport());
            QCOMPARE(transfers[0].value, std::uint16_t(0x031F));
#ifdef _WIN32
            // Windows asks for its collection's longest feature report, id included.
            QCOMPARE(int(transfers[0].length), controller->effectRecordSize() + 1);
#else
            QCOMPARE(transfers[0].length, std::uint16_t(1024));
#endif
            QVERIFY(transfers[1].isGetReport());
            QCOMPARE(transfers[1].value, std::uint16_t(0x0320));
        }
        if (rig.joystick && rig.pedals) {
            QVERIFY(rig.joystick->transfers().last().sequence
                    < rig.pedals->transfers().first().sequence);
        }
    }

    // With no controller the window keeps the form's values: nothing was read.
    void absentControllersLeaveFormValues()
    {
        WindowRig rig(false, false);
        rig.start();
        QCOMPARE(rig.control<QSpinBox>("joystick_maximum_speed")->value(), 1000);
        QCOMPARE(rig.control<QSpinBox>("pedals_maximum_speed")->value(), 1000);
        QCOMPARE(rig.control<QSpinBox>("roll_dampening_saturated_speed")->value(), 1);
    }

    // Every on_ slot finds its control; a misspelled objectName would leave a
    // button dead and make connectSlotsByName warn.
    void everySlotIsConnectedByName()
    {
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &message) {
                if (type == QtWarningMsg)
                    warnings << message;
            });
        {
            WindowRig rig(false, false);
            rig.start();
        }
        qInstallMessageHandler(previous);
        for (const QString &warning : std::as_const(warnings))
            QVERIFY2(!warning.contains(QLatin1String("connectSlotsByName")), qPrintable(warning));

        // And the other way round: each slot named after a control has that control.
        WindowRig rig(false, false);
        MainWindow &window = rig.start();
        const QMetaObject *meta = window.metaObject();
        int named = 0;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QByteArray name = meta->method(i).name();
            if (!name.startsWith("on_"))
                continue;
            ++named;
            const QByteArray object = name.mid(3, name.lastIndexOf('_') - 3);
            QVERIFY2(window.findChild<QObject *>(QString::fromLatin1(object)), name.constData());
        }
        QCOMPARE(named, 33);
        QCOMPARE(meta->methodCount() - meta->methodOffset(), 44);  // with telemetryReceived
    }

    void profilesFolderIsCreatedInWorkingDirectory()
    {
        WindowRig rig(false, false);
        rig.start();
        QVERIFY(QFileInfo(QDir(workDir.path()).filePath("profiles")).isDir());
    }
};

VORKAST_USB_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
