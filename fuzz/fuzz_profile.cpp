#include "fuzzcheck.h"
#include "profilestore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// A profile file of any content and length, loaded as the window loads a
// picked profile: into both effect records, whole or not at all. What the
// controls then make of the records is in tst_settingsmapping's conversion rows.

namespace {

QTemporaryDir *root = nullptr;
QDir *folder = nullptr;

template <typename Record>
QByteArray imageOf(const Record &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Refused loads warn on every input; the checks below are what counts.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    root = new QTemporaryDir;
    std::atexit([] { delete root; });
    if (!root->isValid() || !QDir(root->path()).mkdir(QStringLiteral("profiles")))
        std::abort();
    folder = new QDir(root->filePath(QStringLiteral("profiles")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString name = QStringLiteral("fuzzed");
    {
        QFile file(folder->filePath(name));
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    JoystickSoftwareSettings joystick;
    PedalsSoftwareSettings pedals;
    std::memset(&joystick, 0x5A, sizeof joystick);
    std::memset(&pedals, 0xA5, sizeof pedals);
    const QByteArray before = imageOf(joystick) + imageOf(pedals);

    const bool loaded = vorkast::settings::loadProfile(*folder, name, joystick, pedals);
    const QByteArray image = imageOf(joystick) + imageOf(pedals);
    const auto file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Refused and untouched, or taken exactly: the first 399 bytes, nothing else.
    FUZZ_CHECK(loaded == (qint64(size) >= vorkast::settings::kProfileSize));
    FUZZ_CHECK(image == (loaded ? file.left(vorkast::settings::kProfileSize) : before));
    return 0;
}
