#include "testbytes.h"
#include "testmain.h"
#include "workdir.h"
#include "windowrig.h"

#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <sys/stat.h>

#include <memory>
#include <optional>

// The "Profiles" group of the window: profile files in the working directory's
// profiles folder, observed as files and as the bytes that reach the virtual
// controllers when the effect settings are written afterwards.

namespace {

QString profilePath(const QString &name)
{
    return QDir::current().filePath(QStringLiteral("profiles/") + name);
}

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

struct ProfileRig : WindowRig
{
    using WindowRig::WindowRig;

    QComboBox *combo() const { return control<QComboBox>("profile_combo"); }
    QSpinBox *rollGain() const { return control<QSpinBox>("roll_gain_total"); }

    void save(const QString &name) const
    {
        combo()->setEditText(name);
        control<QPushButton>("add_profile_button")->click();
    }

    void remove(const QString &name) const
    {
        combo()->setEditText(name);
        control<QPushButton>("delete_profile_button")->click();
    }

    // Picks the entry from the list, as the user does.
    void choose(const QString &name) const
    {
        const int index = combo()->findText(name);
        QVERIFY2(index >= 0, qPrintable(name));
        combo()->setCurrentIndex(index);
        emit combo()->activated(index);
    }

    // Writes both effect records to the controllers; returns what they hold then.
    QByteArray written() const
    {
        invoke("on_software_settings_save_clicked");
        invoke("on_pedal_software_settings_save_clicked");
        return joystick->effectRecord() + pedals->effectRecord();
    }

    // Records on the controllers, read into the window and written back once,
    // so that they hold what the controls reproduce exactly.
    QByteArray settle(int seed) const
    {
        joystick->setEffectRecord(patterned(223, seed));
        pedals->setEffectRecord(patterned(176, seed + 1));
        invoke("on_software_settings_read_clicked");
        invoke("on_pedal_software_settings_read_clicked");
        return written();
    }
};

} // namespace

class TestProfiles : public QObject
{
    Q_OBJECT

private:
    std::optional<FreshWorkDir> workDir;

private slots:
    void init()
    {
        workDir.emplace();
        QVERIFY(workDir->isEntered());
        QTest::failOnWarning(QRegularExpression(QStringLiteral("[Pp]rofile")));
    }

    void cleanup() { workDir.reset(); }

    // Save and load carry both records byte for byte, headers, reserved bytes
    // and curves included; loading shows them and sends nothing.
    void saveAndLoadRestoreBothRecords()
    {
        ProfileRig rig(true, true);
        rig.start();
        const QByteArray saved = rig.settle(1);
        QCOMPARE(rig.written(), saved);

        rig.save(QStringLiteral("alpha"));
        QCOMPARE(readFile(profilePath(QStringLiteral("alpha"))).toHex(' '), saved.toHex(' '));

        const QByteArray other = rig.settle(20);
        QVERIFY(other.left(4) != saved.left(4) && other[4] != saved[4]);
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();

        rig.choose(QStringLiteral("alpha"));
        QVERIFY(rig.joystick->transfers().isEmpty());
        QVERIFY(rig.pedals->transfers().isEmpty());
        QCOMPARE(rig.rollGain()->value(), int(std::uint8_t(saved[4])));
        QCOMPARE(rig.control<QSpinBox>("yaw_gain_total")->value(), int(std::uint8_t(saved[223 + 4])));
        QCOMPARE(rig.written().toHex(' '), saved.toHex(' '));
    }

    // Nothing read from a controller: zero headers, reserved bytes and curves,
    // the controls' values and the two full-scale constants.
    void profileBeforeAnyReadHoldsControlsAndConstants()
    {
        ProfileRig rig(false, false);
        rig.start();
        rig.rollGain()->setValue(77);
        rig.control<QSpinBox>("yaw_gain_total")->setValue(55);
        rig.save(QStringLiteral("fresh"));

        const QByteArray file = readFile(profilePath(QStringLiteral("fresh")));
        QCOMPARE(file.size(), 399);
        const QByteArray joystick = file.left(223);
        const QByteArray pedals = file.mid(223);
        QCOMPARE(int(joystick[4]), 77);
        QCOMPARE(int(pedals[4]), 55);
        QCOMPARE(joystick.mid(204, 4), f32(10.0f));
        QCOMPARE(joystick.mid(208, 4), f32(30.0f));
        QCOMPARE(pedals.mid(159, 4), f32(10.0f));
        QCOMPARE(pedals.mid(163, 4), f32(30.0f));

        QList<int> zeroJoystick{0, 1, 2, 3, 218, 219};
        for (int curve : {13, 34, 55, 76, 97, 118, 129, 142, 153, 166, 177})
            for (int i = 0; i < 11; ++i)
                zeroJoystick << curve + i;
        QList<int> zeroPedals{0, 1, 2, 3, 171, 172, 174, 175};
        for (int curve : {10, 31, 52, 73, 94, 115, 127, 139})
            for (int i = 0; i < 11; ++i)
                zeroPedals << curve + i;
        for (int offset : zeroJoystick)
            QVERIFY2(joystick[offset] == 0, qPrintable(QString::number(offset)));
        for (int offset : zeroPedals)
            QVERIFY2(pedals[offset] == 0, qPrintable(QString::number(offset)));
    }

    void saveSelectsExactNameWithoutLoading_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("new") << QStringList() << QStringList{"alpha"};
        QTest::newRow("overwrite") << QStringList{"alpha", "beta"} << QStringList{"alpha", "beta"};
#ifndef _WIN32  // Windows' file names ignore case: there they are one file (tst_profilestore)
        QTest::newRow("other case is another profile")
            << QStringList{"ALPHA"} << QStringList{"ALPHA", "alpha"};
#endif
    }

    void saveSelectsExactNameWithoutLoading()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, listed);
        QVERIFY(QDir::current().mkdir(QStringLiteral("profiles")));
        for (const QString &name : existing)
            writeFile(profilePath(name), QByteArray(399, char(0x11)));

        ProfileRig rig(false, false);
        rig.start();
        QSignalSpy activated(rig.combo(), &QComboBox::activated);
        rig.rollGain()->setValue(21);
        rig.save(QStringLiteral("alpha"));

        const QByteArray file = readFile(profilePath(QStringLiteral("alpha")));
        QCOMPARE(file.size(), 399);
        QCOMPARE(int(file[4]), 21);
        QStringList shown = items(rig.combo());
        shown.sort();  // names equal but for case have no defined order
        listed.sort();
        QCOMPARE(shown, listed);
        QCOMPARE(rig.combo()->currentText(), QStringLiteral("alpha"));
        QCOMPARE(rig.combo()->itemText(rig.combo()->currentIndex()), QStringLiteral("alpha"));
        QCOMPARE(activated.count(), 0);
        for (const QString &name : existing) {
            if (name != QStringLiteral("alpha"))
                QCOMPARE(readFile(profilePath(name)), QByteArray(399, char(0x11)));
        }
    }

    void listingHoldsVisibleFilesByName()
    {
        QVERIFY(QDir::current().mkpath(QStringLiteral("profiles/sub")));
        for (const char *name : {"b", "A", "c", ".hidden", "sub/d"})
            writeFile(profilePath(QString::fromLatin1(name)), QByteArray(399, '\0'));
        writeFile(profilePath(QStringLiteral("other.txt")), QByteArray(500, '\0'));
#ifndef _WIN32  // entries Windows' folders do not hold
        QVERIFY(QFile::link(QStringLiteral("missing"), profilePath(QStringLiteral("dangling"))));
        QCOMPARE(mkfifo(qPrintable(profilePath(QStringLiteral("fifo"))), 0600), 0);
#endif

        ProfileRig rig(false, false);
        rig.start();
        QCOMPARE(items(rig.combo()), QStringList({"A", "b", "c", "other.txt"}));
        QCOMPARE(rig.combo()->currentIndex(), -1);
        QCOMPARE(rig.combo()->currentText(), QString());

        // Every rebuild clears the edit, also text typed while nothing was selected.
        rig.remove(QStringLiteral("ghost"));
        QCOMPARE(items(rig.combo()), QStringList({"A", "b", "c", "other.txt"}));
        QCOMPARE(rig.combo()->currentText(), QString());
    }

    // Any file of the folder loads when it is a whole profile: its first 399
    // bytes (every size: tst_profilestore). A shorter one is not mixed into
    // the records, which are shown again.
    void loadTakesWholeProfilesOnly_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("loads");
        QTest::newRow("longer") << 1000 << true;
        QTest::newRow("one byte short") << 398 << false;
    }

    void loadTakesWholeProfilesOnly()
    {
        QFETCH(int, size);
        QFETCH(bool, loads);
        ProfileRig rig(true, true);
        rig.start();
        const QByteArray profile = rig.settle(5);
        const QByteArray content = profile + QByteArray(1000 - 399, char(0x7F));
        writeFile(profilePath(QStringLiteral("other.bin")), content.left(size));
        const QByteArray current = rig.settle(30);
        rig.invoke("readProfiles");

        rig.rollGain()->setValue(99);
        if (!loads)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not loaded")));
        rig.choose(QStringLiteral("other.bin"));
        const QByteArray expected = loads ? profile : current;
        QCOMPARE(rig.rollGain()->value(), int(std::uint8_t(expected[4])));
        QCOMPARE(rig.written().toHex(' '), expected.toHex(' '));
    }

    // A file of 399 bytes 0xFF (not-a-number in every float) loads whole:
    // the bytes no control shows reach both controllers as they are in the file.
    void garbageProfileLoadsWhole()
    {
        ProfileRig rig(true, true);
        rig.start();
        rig.settle(5);
        QVERIFY(QDir::current().mkpath(QStringLiteral("profiles")));
        writeFile(profilePath(QStringLiteral("garbage")), QByteArray(399, char(0xFF)));
        rig.invoke("readProfiles");

        rig.choose(QStringLiteral("garbage"));
        const QByteArray sent = rig.written();
        const QByteArray ones(4, char(0xFF));
        QCOMPARE(sent.left(4), ones);                      // joystick header
        QCOMPARE(sent.mid(13, 11), QByteArray(11, char(0xFF)));  // flaps vibration curve
        QCOMPARE(sent.mid(223, 4), ones);                  // pedals header
        QCOMPARE(sent.mid(223 + 171, 2), QByteArray(2, char(0xFF)));  // pedals reserved
    }

    void deleteRemovesSelectedProfileOnly()
    {
        ProfileRig rig(true, true);
        rig.start();
        const QByteArray saved = rig.settle(1);
        rig.save(QStringLiteral("alpha"));
        rig.save(QStringLiteral("beta"));
        QCOMPARE(rig.status(), "Profile \"beta\" saved");
        rig.choose(QStringLiteral("alpha"));
        QCOMPARE(rig.status(), "Profile \"alpha\" loaded");
        rig.rollGain()->setValue(99);

        rig.remove(rig.combo()->currentText());
        QCOMPARE(rig.status(), "Profile \"alpha\" deleted");
        QVERIFY(!QFileInfo::exists(profilePath(QStringLiteral("alpha"))));
        QCOMPARE(readFile(profilePath(QStringLiteral("beta"))), saved);
        QCOMPARE(items(rig.combo()), QStringList{"beta"});
        QCOMPARE(rig.combo()->currentIndex(), -1);
        QCOMPARE(rig.combo()->currentText(), QString());
        QCOMPARE(rig.rollGain()->value(), 99);
        QByteArray expected = saved;
        expected[4] = char(99);
        QCOMPARE(rig.written().toHex(' '), expected.toHex(' '));
    }

    // Enter adds the typed name and loads it; there is no such file, so the
    // records stay and the controls are set back from them.
    void typedNameAddsEntryAndFindsNoFile()
    {
        ProfileRig rig(true, true);
        rig.start();
        const QByteArray saved = rig.settle(1);
        rig.save(QStringLiteral("alpha"));
        rig.rollGain()->setValue(99);
        rig.joystick->clearTransfers();
        rig.pedals->clearTransfers();
        QSignalSpy activated(rig.combo(), &QComboBox::activated);

        rig.combo()->clearEditText();
        QTest::keyClicks(rig.combo()->lineEdit(), QStringLiteral("zulu"));
        QTest::keyClick(rig.combo()->lineEdit(), Qt::Key_Return);

        QCOMPARE(items(rig.combo()), QStringList({"alpha", "zulu"}));
        // Qt 6.4 reports Enter in an editable combo box twice; loading is idempotent.
        QVERIFY(!activated.isEmpty());
        for (const QList<QVariant> &arguments : activated)
            QCOMPARE(arguments.first().toInt(), 1);
        QVERIFY(!QFileInfo::exists(profilePath(QStringLiteral("zulu"))));
        QCOMPARE(rig.status(), "Profile \"zulu\" not loaded: there is no such profile");
        QCOMPARE(rig.rollGain()->value(), int(std::uint8_t(saved[4])));
        QVERIFY(rig.joystick->transfers().isEmpty());
        QVERIFY(rig.pedals->transfers().isEmpty());
        QCOMPARE(rig.written().toHex(' '), saved.toHex(' '));
    }

    void refusedNamesTouchNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why");  // as the status line gives it
        const QString separator = QStringLiteral("it contains / or \\");
        QTest::newRow("parent") << QStringLiteral("../x") << QStringLiteral("it starts with a dot");
        QTest::newRow("subfolder") << QStringLiteral("a/b") << separator;
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("it starts with a dot");
        QTest::newRow("hidden") << QStringLiteral(".hidden") << QStringLiteral("it starts with a dot");
        QTest::newRow("empty") << QString() << QStringLiteral("it is empty");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << separator;
        QTest::newRow("nul") << QStringLiteral("keep") + QChar(u'\0')
                             << QStringLiteral("it contains a NUL character");
        QTest::newRow("absolute") << QStringLiteral("<working directory>/x") << separator;
        QTest::newRow("resource path") << QStringLiteral(":x") << QStringLiteral("it contains :");
    }

    // Neighbours that each name would reach hold another profile; none of them
    // is written, loaded or removed. The save still copies the controls into
    // the records.
    void refusedNamesTouchNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        name.replace(QStringLiteral("<working directory>"), QDir::currentPath());
        QVERIFY(QDir::current().mkpath(QStringLiteral("profiles/a")));
        const QByteArray decoy(399, char(0x2A));
        for (const char *path : {"x", "profiles/.hidden", "profiles/a/b", "profiles/keep"})
            writeFile(QString::fromLatin1(path), decoy);

        ProfileRig rig(true, true);
        rig.start();
        const QByteArray saved = rig.settle(1);
        const auto before = tree(QDir::currentPath());
        const QRegularExpression refused(QStringLiteral("^Profile name refused: "));

        rig.rollGain()->setValue(98);
        QTest::ignoreMessage(QtWarningMsg, refused);
        rig.save(name);
        QCOMPARE(tree(QDir::currentPath()), before);
        QCOMPARE(rig.combo()->currentIndex(), -1);
        QCOMPARE(rig.status(), QStringLiteral("Profile \"%1\" not saved: its name is refused because %2")
                                   .arg(name, why));

        rig.rollGain()->setValue(97);
        rig.combo()->addItem(name);
        QTest::ignoreMessage(QtWarningMsg, refused);
        rig.choose(name);
        QCOMPARE(rig.rollGain()->value(), 98);

        QTest::ignoreMessage(QtWarningMsg, refused);
        rig.remove(name);
        QCOMPARE(tree(QDir::currentPath()), before);

        QByteArray expected = saved;
        expected[4] = char(98);
        QCOMPARE(rig.written().toHex(' '), expected.toHex(' '));
    }

    // A save that cannot complete says so in the status line.
    void failedSaveSaysSo()
    {
        QVERIFY(QDir::current().mkpath(QStringLiteral("profiles/alpha")));  // in the way
        ProfileRig rig(true, true);
        rig.start();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Profile \"alpha\" not saved")));
        rig.save(QStringLiteral("alpha"));
        QVERIFY2(rig.status().startsWith(QStringLiteral("Profile \"alpha\" not saved: "))
                     && rig.status().endsWith(QStringLiteral("an earlier profile of that name is unchanged")),
                 qPrintable(rig.status()));
    }

    void noProfilesFolderNoProfiles_data()
    {
        QTest::addColumn<bool>("asLink");
        QTest::newRow("regular file") << false;
        QTest::newRow("dangling link") << true;
    }

    // "profiles" cannot be a folder: nothing of the working directory is
    // listed, written, loaded or removed.
    void noProfilesFolderNoProfiles()
    {
        QFETCH(bool, asLink);
        const QByteArray decoy(399, char(0x2A));
        if (asLink)
            QVERIFY(QFile::link(QStringLiteral("missing"), QStringLiteral("profiles")));
        else
            writeFile(QStringLiteral("profiles"), decoy);
        writeFile(QStringLiteral("A"), decoy);
        writeFile(QStringLiteral("keep"), decoy);
        const auto before = tree(QDir::currentPath());

        ProfileRig rig(false, false);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^No profiles folder")));
        rig.start();
        QCOMPARE(rig.combo()->count(), 0);

        rig.rollGain()->setValue(12);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("not saved: no profiles folder")));
        rig.save(QStringLiteral("keep"));
        QCOMPARE(rig.combo()->count(), 0);

        rig.rollGain()->setValue(13);
        QTest::keyClicks(rig.combo()->lineEdit(), QStringLiteral("A"));
        QTest::keyClick(rig.combo()->lineEdit(), Qt::Key_Return);
        QCOMPARE(rig.rollGain()->value(), 12);

        rig.remove(QStringLiteral("keep"));
        QCOMPARE(rig.combo()->count(), 0);
        QCOMPARE(tree(QDir::currentPath()), before);
    }
};

VORKAST_USB_TEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
