#include "fuzzcheck.h"
#include "profilestore.h"
#include "settingsmapping.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// A profile file of any content and length, loaded as the window loads a
// picked profile: into both effect records, shown in the controls, and taken
// back from them as the next write or save does.

namespace {

QMainWindow *window = nullptr;
QTemporaryDir *root = nullptr;
QDir *folder = nullptr;

template <typename Record>
QByteArray imageOf(const Record &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

// Every float a record carries to a controller after a trip through the controls.
template <typename Record>
void checkFinite(const Record &record)
{
    const auto &v = record.vibrations;
    for (const VibrationEffect &effect : {v.flaps, v.airbrake, v.gear, v.aoa, v.onGround}) {
        const float low = effect.minFrequency;
        const float high = effect.maxFrequency;
        FUZZ_CHECK(std::isfinite(low) && std::isfinite(high));
    }
    const float speed = record.maximumSpeed;
    const float thrust = record.maximumThrust;
    FUZZ_CHECK(std::isfinite(speed) && std::isfinite(thrust));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Refused loads warn on every input; the checks below are what counts.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QApplication app(*argc, *argv);
    static Ui::MainWindow form;
    window = new QMainWindow;  // outlives the application object: never deleted
    form.setupUi(window);
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
    // Whole or not at all.
    FUZZ_CHECK(loaded == (qint64(size) >= vorkast::settings::kProfileSize));
    FUZZ_CHECK(image == (loaded ? file.left(vorkast::settings::kProfileSize) : before));
    if (!loaded)
        return 0;  // the window shows the records it had: nothing from this input

    vorkast::settings::showJoystickEffects(joystick, window);
    vorkast::settings::showPedalsEffects(pedals, window);
    vorkast::settings::storeJoystickEffects(joystick, window);
    vorkast::settings::storePedalsEffects(pedals, window);
    // Bytes the tool does not know travel back exactly as loaded.
    FUZZ_CHECK(std::memcmp(joystick.header, image.constData(), sizeof joystick.header) == 0);
    FUZZ_CHECK(std::memcmp(pedals.header, image.constData() + sizeof joystick,
                           sizeof pedals.header) == 0);
    checkFinite(joystick);
    checkFinite(pedals);
    return 0;
}
