#include "profilestore.h"
#include "testbytes.h"
#include "workdir.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include <cstring>
#include <memory>
#include <optional>

using namespace vorkast::settings;

namespace {

QByteArray image(const JoystickSoftwareSettings &joystick, const PedalsSoftwareSettings &pedals)
{
    return bytesOf(joystick) + bytesOf(pedals);
}

void fill(JoystickSoftwareSettings &joystick, PedalsSoftwareSettings &pedals, const QByteArray &data)
{
    std::memcpy(&joystick, data.constData(), sizeof joystick);
    std::memcpy(&pedals, data.constData() + sizeof joystick, sizeof pedals);
}

#ifdef Q_OS_UNIX
// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
#endif

struct NameCase
{
    QByteArray tag;
    QString name;
    bool posix;    // accepted under NameRules::Posix
    bool windows;  // accepted under NameRules::Windows
};

QList<NameCase> nameCases()
{
    QList<NameCase> cases = {
        {"plain", QStringLiteral("Spitfire"), true, true},
        {"blanks kept", QStringLiteral(" P-51 D "), true, false},
        {"leading blank kept", QStringLiteral(" P-51 D"), true, true},
        {"inner dots", QStringLiteral("a..b."), true, false},
        {"non-ascii", QStringLiteral("Bf 109 G-6 Üben"), true, true},
        {"DEL is no control", QStringLiteral("a\x7F"), true, true},
        {"empty", QString(), false, false},
        {"dot dot", QStringLiteral(".."), false, false},
        {"subfolder", QStringLiteral("a/b"), false, false},
        {"backslash", QStringLiteral("a\\b"), false, false},
        {"nul", QStringLiteral("keep") + QChar(u'\0'), false, false},
        {"resource path", QStringLiteral(":x"), false, false},
        {"drive relative", QStringLiteral("C:x"), false, false},
        {"data stream", QStringLiteral("a:b"), false, false},
        {"trailing colon", QStringLiteral("keep:"), false, false},
        {"control U+0001", QStringLiteral("a\x01"), true, false},
        {"control U+001F", QStringLiteral("\x1F"), true, false},
        {"trailing dot", QStringLiteral("x."), true, false},
        {"trailing blank", QStringLiteral("x "), true, false},
    };
    for (const QChar c : QStringView(u"<>\"|?*")) {
        const QString name = QStringLiteral("a") + c + u'b';
        cases.append({"reserved " + name.toUtf8(), name, true, false});
    }
    for (const char16_t *device : {u"con", u"Con.txt", u"LPT1.profile", u"nul.tar.gz", u"PRN",
                                   u"aux", u"COM9", u"CON .txt", u"com\u00B9", u"LPT\u00B3.x"}) {
        const QString name = QString::fromUtf16(device);
        cases.append({"device " + name.toUtf8(), name, true, false});
    }
    for (const char16_t *ordinary : {u"CONSOLE", u"COM10", u"xCON", u"LPT", u"COM1x.txt",
                                     u"CO N", u"COM\u2074"}) {
        const QString name = QString::fromUtf16(ordinary);
        cases.append({"not a device " + name.toUtf8(), name, true, true});
    }
    return cases;
}

bool platformAccepts(const NameCase &name)
{
#ifdef Q_OS_WIN
    return name.windows;
#else
    return name.posix;
#endif
}

// The rows of nameCases() that the store of this platform accepts, or refuses.
void addPlatformNames(bool accepted)
{
    QTest::addColumn<QString>("name");
    for (const NameCase &name : nameCases())
        if (platformAccepts(name) == accepted)
            QTest::newRow(name.tag.constData()) << name.name;
}

} // namespace

// The profile files on their own; the window's tests cover listing order and
// file sizes. Here: which names each platform accepts, files that are no profile,
// and that a save never destroys the previous file.
class TestProfileStore : public QObject
{
    Q_OBJECT

private:
    std::optional<FreshWorkDir> root;
    QDir folder;

private slots:
    // The working folder is inside root: a name read as a resource or drive
    // path lands there, and the trees compared below show it.
    void init()
    {
        root.emplace();
        QVERIFY(root->isEntered());
        QVERIFY(QDir(root->path()).mkpath(QStringLiteral("profiles/a")));
        folder = QDir(root->filePath(QStringLiteral("profiles")));
        writeFile(folder.filePath(QStringLiteral("a/b")), patterned(399, 3));
        writeFile(folder.filePath(QStringLiteral("keep")), patterned(399, 4));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void cleanup() { root.reset(); }

    void nameRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("posix");
        QTest::addColumn<bool>("windows");
        for (const NameCase &name : nameCases())
            QTest::newRow(name.tag.constData()) << name.name << name.posix << name.windows;
    }

    // Both rule sets on every platform; the store's own rules are the
    // platform's, as the tests below show through the files.
    void nameRules()
    {
        QFETCH(QString, name);
        QFETCH(bool, posix);
        QFETCH(bool, windows);
        QCOMPARE(isValidProfileName(name, NameRules::Posix), posix);
        QCOMPARE(isValidProfileName(name, NameRules::Windows), windows);
    }

    void ordinaryNamesAreAccepted_data() { addPlatformNames(true); }

    // Raw images both ways, whatever the bytes: nothing is interpreted.
    void ordinaryNamesAreAccepted()
    {
        QFETCH(QString, name);
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, patterned(399, 5));
        QVERIFY(saveProfile(folder, name, joystick, pedals));
        QCOMPARE(readFile(folder.filePath(name)), patterned(399, 5));

        fill(joystick, pedals, patterned(399, 6));
        QVERIFY(loadProfile(folder, name, joystick, pedals));
        QCOMPARE(image(joystick, pedals), patterned(399, 5));
        QVERIFY(listProfiles(folder).contains(name));

        QVERIFY(removeProfile(folder, name));
        QVERIFY(!QFileInfo::exists(folder.filePath(name)));
    }

    void refusedNamesTouchNothing_data() { addPlatformNames(false); }

    // One warning each, and neither the folder nor the working folder changes.
    void refusedNamesTouchNothing()
    {
        QFETCH(QString, name);
        const auto before = tree(root->path());
        const QRegularExpression refused(QStringLiteral("^Profile name refused: "));
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, patterned(399, 9));

        QTest::ignoreMessage(QtWarningMsg, refused);
        QVERIFY(!saveProfile(folder, name, joystick, pedals));
        QTest::ignoreMessage(QtWarningMsg, refused);
        QVERIFY(!loadProfile(folder, name, joystick, pedals));
        QTest::ignoreMessage(QtWarningMsg, refused);
        QVERIFY(!removeProfile(folder, name));
        QCOMPARE(image(joystick, pedals), patterned(399, 9));
        QCOMPARE(tree(root->path()), before);
    }

#ifdef Q_OS_UNIX
    // Files of names the store refuses, as an older version could leave them:
    // not offered, and left alone.
    void listingSkipsRefusedNames()
    {
        QStringList expected = {QStringLiteral("keep")};
        for (const NameCase &name : nameCases()) {
            if (name.name.isEmpty() || name.name.contains(u'/') || name.name.contains(QChar(0))
                || name.name == QStringLiteral(".."))
                continue;  // no file can have it
            writeFile(folder.path() + u'/' + name.name, patterned(399, 10));
            if (name.posix)
                expected.append(name.name);
        }
        QStringList listed = listProfiles(folder);
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
    }
#endif

    // Not a profile file: silently nothing, and never a hang on a FIFO.
    void loadFindsNoFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("folder") << QStringLiteral("a");
#ifdef Q_OS_UNIX
        QTest::newRow("fifo") << QStringLiteral("fifo");
#endif
    }

    void loadFindsNoFile()
    {
        QFETCH(QString, name);
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(qPrintable(folder.filePath(QStringLiteral("fifo"))), 0600), 0);
#endif
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, patterned(399, 8));
        QVERIFY(!loadProfile(folder, name, joystick, pedals));
        QCOMPARE(image(joystick, pedals), patterned(399, 8));
    }

    // A profile is the first 399 bytes of any file that long; a shorter file
    // is not mixed into the records.
    void loadTakesWholeProfilesOnly_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {399, 1000, 1024 * 1024, 398, 1, 0})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }

    void loadTakesWholeProfilesOnly()
    {
        QFETCH(int, size);
        const QByteArray content = patterned(size, 12);
        writeFile(folder.filePath(QStringLiteral("other.bin")), content);
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, patterned(399, 13));
        const bool whole = size >= 399;
        if (!whole)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(" not loaded: ")));
        QCOMPARE(loadProfile(folder, QStringLiteral("other.bin"), joystick, pedals), whole);
        QCOMPARE(image(joystick, pedals), whole ? content.left(399) : patterned(399, 13));
    }

    void failedSaveKeepsPreviousFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("diskFull");
#ifdef Q_OS_UNIX
        QTest::newRow("write fails half way") << QStringLiteral("keep") << true;
#endif
        // The file itself fits; the temporary one beside it cannot be named.
        QTest::newRow("no room for a temporary file") << QString(250, u'n') << false;
        QTest::newRow("name of a folder") << QStringLiteral("a") << false;
    }

    void failedSaveKeepsPreviousFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, diskFull);
        if (!QFileInfo::exists(folder.filePath(name)))
            writeFile(folder.filePath(name), patterned(399, 4));
        const auto before = tree(root->path());

        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, patterned(399, 11));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not saved")));
        bool saved = true;
        {
#ifdef Q_OS_UNIX
            std::optional<FileSizeLimit> limit;
            if (diskFull)
                limit.emplace(200);
#else
            QVERIFY(!diskFull);
#endif
            saved = saveProfile(folder, name, joystick, pedals);
        }
        QVERIFY(!saved);
        // The old content and nothing else: no half-written or temporary file.
        QCOMPARE(tree(root->path()), before);
    }

    void removeLeavesFoldersAlone()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not deleted")));
        QVERIFY(!removeProfile(folder, QStringLiteral("a")));
        QVERIFY(!removeProfile(folder, QStringLiteral("missing")));
        QCOMPARE(readFile(folder.filePath(QStringLiteral("a/b"))), patterned(399, 3));
    }
};

QTEST_GUILESS_MAIN(TestProfileStore)
#include "tst_profilestore.moc"
