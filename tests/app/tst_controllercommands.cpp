#include "busywait.h"
#include "testbytes.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSpinBox>
#include <QTest>

#include <atomic>
#include <optional>

using Kind = VirtualController::Kind;

namespace {

int countGetReports(const QList<VirtualController::Transfer> &transfers, std::uint8_t id)
{
    int count = 0;
    for (const auto &transfer : transfers)
        count += transfer.isGetReport() && transfer.reportId() == id;
    return count;
}

} // namespace

// Reading, writing, the busy wait and DFU, observed at the virtual controllers.
class TestControllerCommands : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    void saveWritesWaitsAndReadsBack_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<bool>("pedals");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("reportId");
        QTest::addColumn<QString>("settings");  // as the status line names them
        QTest::newRow("joystick effect") << QByteArray("on_software_settings_save_clicked") << false << 0x03 << 223 << 0x1F << "Joystick effect settings";
        QTest::newRow("joystick hardware") << QByteArray("on_hardware_settings_save_clicked") << false << 0x04 << 85 << 0x20 << "Joystick system settings";
        QTest::newRow("pedals effect") << QByteArray("on_pedal_software_settings_save_clicked") << true << 0x03 << 176 << 0x1F << "Pedals effect settings";
        QTest::newRow("pedals hardware") << QByteArray("on_pedal_hardware_settings_save_clicked") << true << 0x04 << 69 << 0x20 << "Pedals system settings";
    }

    // The write goes to one controller only, in chunks, then one status read,
    // the pause, and one read-back of the same record. What was read goes back
    // through the record's own controls, and every byte survives repeated trips.
    void saveWritesWaitsAndReadsBack()
    {
        QFETCH(QByteArray, slot);
        QFETCH(bool, pedals);
        QFETCH(int, command);
        QFETCH(int, size);
        QFETCH(int, reportId);
        QFETCH(QString, settings);

        WindowRig rig(true, true);
        VirtualController *target = pedals ? rig.pedals : rig.joystick;
        VirtualController *other = pedals ? rig.joystick : rig.pedals;
        const bool hardware = command == 0x04;
        const QByteArray held = patterned(size, size);
        if (hardware)
            target->setHardwareRecord(held);
        else
            target->setEffectRecord(held);
        rig.start();
        target->clearTransfers();
        other->clearTransfers();

        QElapsedTimer timer;
        timer.start();
        rig.invoke(slot.constData());
        QVERIFY(timer.elapsed() >= 100);

        QVERIFY(other->transfers().isEmpty());
        const auto transfers = target->transfers();
        const int chunkReports = size / 58 + 2;  // chunks and the closing report
        QCOMPARE(transfers.size(), chunkReports + 2);
        for (int i = 0; i < chunkReports; ++i) {
            QVERIFY(transfers[i].isSetReport());
            QCOMPARE(int(std::uint8_t(transfers[i].data[1])), command);
        }
        QCOMPARE(transfers[chunkReports].reportId(), std::uint8_t(0x21));
        QVERIFY(transfers[chunkReports + 1].isGetReport());
        QCOMPARE(int(transfers[chunkReports + 1].reportId()), reportId);
        QCOMPARE(target->completedWrites(std::uint8_t(command)), 1);
        QCOMPARE(rig.status(), settings + " written and read back");

        const auto sent = [&] {
            return hardware ? target->hardwareRecord() : target->effectRecord();
        };
        const QByteArray first = sent();
        QCOMPARE(first.toHex(' '), throughForm(pedals, hardware, held).toHex(' '));
        rig.invoke(slot.constData());
        QCOMPARE(sent().toHex(' '), first.toHex(' '));
    }

    // Busy twice, then idle: three status reads with a pause after each, the
    // wait cursor up throughout, and the controls show what the controller
    // holds after the write.
    void busyWaitPollsUntilIdle()
    {
        WindowRig rig(true, false);
        rig.start();
        rig.joystick->clearTransfers();
        rig.joystick->scriptBusy({1, 1, 0});

        std::atomic<int> readsWithCursor{0};
        VirtualController *joystick = rig.joystick;
        rig.joystick->onStatusRead([&readsWithCursor, joystick](int read) {
            // The GUI thread is blocked in this very transfer, so its state is stable.
            const QCursor *cursor = QGuiApplication::overrideCursor();
            if (cursor && cursor->shape() == Qt::WaitCursor)
                ++readsWithCursor;
            if (read == 0) {  // the firmware clamps what it was sent
                QByteArray record = joystick->effectRecord();
                record[4] = char(42);
                joystick->setEffectRecord(record);
            }
        });

        QElapsedTimer timer;
        timer.start();
        rig.invoke("on_software_settings_save_clicked");
        const qint64 elapsed = timer.elapsed();

        const auto transfers = rig.joystick->transfers();
        QCOMPARE(countGetReports(transfers, 0x21), 3);
        QCOMPARE(countGetReports(transfers, 0x1F), 1);
        QVERIFY2(elapsed >= 300, qPrintable(QString::number(elapsed)));
        QCOMPARE(readsWithCursor.load(), 3);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(rig.control<QSpinBox>("roll_gain_total")->value(), 42);
        // The read-back comes after the last status read.
        QCOMPARE(transfers.last().reportId(), std::uint8_t(0x1F));
    }

    // A controller that answers busy and then stops answering ends the wait
    // after three failed reads in a row.
    void vanishedControllerEndsWait()
    {
        WindowRig rig(true, false);
        rig.start();
        rig.joystick->clearTransfers();
        rig.joystick->scriptStatus({1, -1, -1, -1, -1, -1});

        rig.invoke("on_software_settings_save_clicked");
        QCOMPARE(countGetReports(rig.joystick->transfers(), 0x21), 4);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        // Read back, yet not known to be stored.
        QCOMPARE(rig.status(), "Joystick effect settings may not be stored: the controller did not answer");
    }

    // The wait itself, poll by poll: -1 is a failed status read.
    void busyWaitEnds_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<int>("polls");
        QTest::addColumn<bool>("idle");
        QTest::newRow("idle at once") << QList<int>{0} << 1 << true;
        QTest::newRow("busy, then idle") << QList<int>{1, 1, 0} << 3 << true;
        QTest::newRow("hiccups between busy answers") << QList<int>{1, -1, -1, 1, -1, 0} << 6 << true;
        QTest::newRow("vanished") << QList<int>{1, -1, -1, -1, 0} << 4 << false;
        // Not seen busy: the read back that follows tells whether it is there.
        QTest::newRow("first read fails") << QList<int>{-1, 1} << 1 << true;
        QTest::newRow("busy forever") << QList<int>(150, 1) << 100 << false;
    }

    void busyWaitEnds()
    {
        QFETCH(QList<int>, answers);
        QFETCH(int, polls);
        QFETCH(bool, idle);
        int polled = 0;
        int pauses = 0;
        const bool result = vorkast::awaitIdle(
            [&]() -> std::optional<std::uint8_t> {
                const int answer = answers.value(polled++, 0);
                return answer < 0 ? std::nullopt : std::optional<std::uint8_t>(answer);
            },
            [&] { ++pauses; });
        QCOMPARE(result, idle);
        QCOMPARE(polled, polls);
        QCOMPARE(pauses, polls);
    }

    void unpluggedControllerFailsSave_data()
    {
        QTest::addColumn<bool>("duringWait");
        // Under wine a controller can only be pulled out between requests: wine's
        // HID driver holds the one in flight, and so its removal.
#ifndef _WIN32
        QTest::newRow("during the busy wait") << true;
#endif
        QTest::newRow("before the save") << false;
    }

    // A controller pulled out after its first busy answer, or before the save:
    // the first transfer that finds it gone is the last one it is sent. The
    // save ends at once, the tab says so, and the controls keep what was to be
    // written.
    void unpluggedControllerFailsSave()
    {
        QFETCH(bool, duringWait);
        WindowRig rig(true, false);
        const QByteArray held = patterned(223, 1);
        rig.joystick->setEffectRecord(held);
        rig.start();
        rig.joystick->clearTransfers();
        VirtualController *joystick = rig.joystick;
        if (duringWait) {
            rig.joystick->scriptBusy({1});
            rig.joystick->onStatusRead([joystick](int) { joystick->setUnplugged(true); });
        } else {
            rig.bus.unplug(*rig.joystick);  // the system lets go of it; the window does not know yet
        }
        auto *gain = rig.control<QSpinBox>("roll_gain_total");
        gain->setValue(77);

        QElapsedTimer timer;
        timer.start();
        rig.invoke("on_software_settings_save_clicked");
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= (duringWait ? 100 : 0) && elapsed < 1000,
                 qPrintable(QString::number(elapsed)));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QCOMPARE(gain->value(), 77);
        const QString gone = rig.status();
#ifdef _WIN32
        // The window may have found it gone just before, by a telemetry report
        // sent while the bus waited for Windows to let go of it.
        if (gone != "Joystick disconnected")
            QCOMPARE(gone, "Joystick effect settings not written: the controller is not connected");
#else
        QCOMPARE(gone, "Joystick disconnected");
#endif
        QCOMPARE(rig.tabText(0), "Joystick (Not connected)");
        rig.invoke("on_hardware_settings_read_clicked");
        QCOMPARE(rig.status(), gone);

        // What reached the controller before it went: the whole write and one status read.
        const auto transfers = rig.joystick->transfers();
        QCOMPARE(transfers.size(), duringWait ? 223 / 58 + 2 + 1 : 0);
        QCOMPARE(countGetReports(transfers, 0x1F), 0);
        QCOMPARE(rig.joystick->completedWrites(0x03), duringWait ? 1 : 0);
        QCOMPARE(int(rig.joystick->effectRecord()[4]), duringWait ? 77 : int(held[4]));
    }

    void shortReplyReplacesLeadingBytesOnly()
    {
        WindowRig rig(true, false);
        const QByteArray first = patterned(223, 1);
        rig.joystick->setEffectRecord(first);
        rig.start();

        QByteArray second = patterned(223, 7);
        rig.joystick->setEffectRecord(second);
        rig.joystick->setReplyLength(0x1F, 100);
        rig.invoke("on_software_settings_read_clicked");

        rig.joystick->setReplyLength(0x1F, -1);
        rig.invoke("on_software_settings_save_clicked");
        // Unmapped bytes (header, curves, reserved) tell where each came from.
        const QByteArray sent = rig.joystick->effectRecord();
        QCOMPARE(sent.left(4), second.left(4));
        QCOMPARE(sent.mid(13, 11), second.mid(13, 11));   // flaps vibration curve
        QCOMPARE(sent.mid(97, 3), second.mid(97, 3));     // on-ground curve, up to the cut
        QCOMPARE(sent.mid(100, 8), first.mid(100, 8));    // ... and past it
        QCOMPARE(sent.mid(118, 22), first.mid(118, 22));  // artificial spring curves
        QCOMPARE(sent.mid(218, 2), first.mid(218, 2));    // reserved
    }

    void longReplyIsCutToRecord()
    {
        WindowRig rig(false, true);
        rig.pedals->setHardwareRecord(patterned(69, 3));
        rig.start();

        rig.pedals->setReplyLength(0x1F, 300);
        rig.invoke("on_pedal_software_settings_read_clicked");
        rig.pedals->setReplyLength(0x1F, -1);

        // The hardware record follows the effect record in the window; its
        // header and reserved bytes go back exactly as first read.
        rig.invoke("on_pedal_hardware_settings_save_clicked");
        QCOMPARE(rig.pedals->hardwareRecord().left(29), patterned(69, 3).left(29));
    }

    void absentControllerSendsNothing()
    {
        WindowRig rig(false, true);
        rig.start();
        rig.pedals->clearTransfers();

        auto *speed = rig.control<QSpinBox>("joystick_maximum_speed");
        speed->setValue(2500);
        rig.invoke("on_software_settings_read_clicked");
        QCOMPARE(speed->value(), 1);  // the zero record, shown at the control's minimum

        speed->setValue(2500);
        QElapsedTimer timer;
        timer.start();
        rig.invoke("on_software_settings_save_clicked");
        QVERIFY(timer.elapsed() >= 100);
        // Well short of the 10 s the busy wait would take to give up, on any machine.
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(speed->value(), 2500);  // through the record and back
        rig.invoke("on_dfu_mode_button_clicked");
        rig.invoke("on_hardware_settings_save_clicked");
        QCOMPARE(rig.status(), "Joystick system settings not written: the controller is not connected");
        QVERIFY(rig.pedals->transfers().isEmpty());
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void dfuSendsOneCommandToItsController_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<bool>("pedals");
        QTest::newRow("joystick") << QByteArray("on_dfu_mode_button_clicked") << false;
        QTest::newRow("pedals") << QByteArray("on_pedal_dfu_mode_button_clicked") << true;
    }

    void dfuSendsOneCommandToItsController()
    {
        QFETCH(QByteArray, slot);
        QFETCH(bool, pedals);
        WindowRig rig(true, true);
        rig.start();
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();

        rig.invoke(slot.constData());
        VirtualController *target = pedals ? rig.pedals : rig.joystick;
        VirtualController *other = pedals ? rig.joystick : rig.pedals;
        QByteArray expected(65, '\0');
        expected[0] = char(0x1E);
        expected[1] = char(0x01);
        QCOMPARE(target->setReports(), QList<QByteArray>{expected});
        QCOMPARE(target->transfers().size(), 1);
        QVERIFY(other->transfers().isEmpty());
    }
};

VORKAST_USB_TEST_MAIN(TestControllerCommands)
#include "tst_controllercommands.moc"
