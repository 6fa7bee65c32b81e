#include "profilestore.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <optional>

using namespace vorkast::settings;

namespace {

QByteArray bytes(int size, int seed)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((seed + i * 7) & 0xFF);
    return data;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry below `root` with its content, so that any change shows.
QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.nextFileInfo());
        QByteArray &entry = entries[QDir(root).relativeFilePath(info.filePath())];
        if (info.isSymLink())
            entry = "link to " + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            entry = "folder";
        else if (info.isFile())
            entry = "file " + readFile(info.filePath());
        else
            entry = "other";  // never opened: a FIFO would block
    }
    return entries;
}

QByteArray image(const JoystickSoftwareSettings &joystick, const PedalsSoftwareSettings &pedals)
{
    return QByteArray(reinterpret_cast<const char *>(&joystick), sizeof joystick)
        + QByteArray(reinterpret_cast<const char *>(&pedals), sizeof pedals);
}

void fill(JoystickSoftwareSettings &joystick, PedalsSoftwareSettings &pedals, const QByteArray &data)
{
    std::memcpy(&joystick, data.constData(), sizeof joystick);
    std::memcpy(&pedals, data.constData() + sizeof joystick, sizeof pedals);
}

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

} // namespace

// The profile files on their own; the window's tests cover names, listing and
// file sizes. Here: names that must keep working, files that are no profile,
// and that a save never destroys the previous file.
class TestProfileStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> root;
    QDir folder;

private slots:
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        QVERIFY(QDir(root->path()).mkpath(QStringLiteral("profiles/a")));
        folder = QDir(root->filePath(QStringLiteral("profiles")));
        writeFile(folder.filePath(QStringLiteral("a/b")), bytes(399, 3));
        writeFile(folder.filePath(QStringLiteral("keep")), bytes(399, 4));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    }

    void ordinaryNamesAreAccepted_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Spitfire");
        QTest::newRow("blanks kept") << QStringLiteral(" P-51 D ");
        QTest::newRow("inner dots") << QStringLiteral("a..b.");
        QTest::newRow("non-ascii") << QStringLiteral("Bf 109 G-6 Üben");
    }

    // Raw images both ways, whatever the bytes: nothing is interpreted.
    void ordinaryNamesAreAccepted()
    {
        QFETCH(QString, name);
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, bytes(399, 5));
        QVERIFY(saveProfile(folder, name, joystick, pedals));
        QCOMPARE(readFile(folder.filePath(name)), bytes(399, 5));

        fill(joystick, pedals, bytes(399, 6));
        QVERIFY(loadProfile(folder, name, joystick, pedals));
        QCOMPARE(image(joystick, pedals), bytes(399, 5));
        QVERIFY(listProfiles(folder).contains(name));

        QVERIFY(removeProfile(folder, name));
        QVERIFY(!QFileInfo::exists(folder.filePath(name)));
    }

    // Not a profile file: silently nothing, and never a hang on a FIFO.
    void loadFindsNoFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("folder") << QStringLiteral("a");
        QTest::newRow("fifo") << QStringLiteral("fifo");
    }

    void loadFindsNoFile()
    {
        QFETCH(QString, name);
        QCOMPARE(mkfifo(qPrintable(folder.filePath(QStringLiteral("fifo"))), 0600), 0);
        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, bytes(399, 8));
        QVERIFY(!loadProfile(folder, name, joystick, pedals));
        QCOMPARE(image(joystick, pedals), bytes(399, 8));
    }

    void failedSaveKeepsPreviousFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("write fails half way") << QStringLiteral("keep") << true;
        // The file itself fits; the temporary one beside it cannot be named.
        QTest::newRow("no room for a temporary file") << QString(250, u'n') << false;
        QTest::newRow("name of a folder") << QStringLiteral("a") << false;
    }

    void failedSaveKeepsPreviousFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, diskFull);
        if (!QFileInfo::exists(folder.filePath(name)))
            writeFile(folder.filePath(name), bytes(399, 4));
        const auto before = tree(root->path());

        JoystickSoftwareSettings joystick{};
        PedalsSoftwareSettings pedals{};
        fill(joystick, pedals, bytes(399, 11));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not saved")));
        bool saved = true;
        {
            std::optional<FileSizeLimit> limit;
            if (diskFull)
                limit.emplace(200);
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
        QCOMPARE(readFile(folder.filePath(QStringLiteral("a/b"))), bytes(399, 3));
    }
};

QTEST_GUILESS_MAIN(TestProfileStore)
#include "tst_profilestore.moc"
