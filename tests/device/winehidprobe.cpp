// The Windows build's end of tst_winehid: opens the controllers through the
// HID route, as the window does on Windows, does what the host asks and writes
// what it saw to a file (wine's console is no place for test output).
//
//   winehidprobe OUTFILE session PRODUCT...   runSession() on each controller
//   winehidprobe OUTFILE unusable PRODUCT     why the controller cannot be used
//   winehidprobe OUTFILE slow PRODUCT         two status reads, 2 s apart, timed
//   winehidprobe OUTFILE wait PRODUCT...      until the controllers can be opened
//
// PRODUCT is a product id in hex. A controller is waited for up to 20 s: wine's
// HID driver brings devices up a while after the program started.

#include "device.h"
#include "hidsession.h"
#include "protocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <QThread>

#include <array>
#include <optional>

using namespace vorkast;
using namespace vorkast::protocol;

namespace {

constexpr int kWaitForDeviceMs = 20000;

OpenedController waitFor(std::uint16_t product, bool usable)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        OpenedController opened = openController(product, std::nullopt);
        if ((usable && opened.device) || (!usable && !opened.problem.empty())
            || clock.elapsed() > kWaitForDeviceMs)
            return opened;
        QThread::msleep(200);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    QFile file(args[1]);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return 3;
    QTextStream out(&file);
    const QString mode = args[2];

    for (const QString &productText : args.mid(3)) {
        const auto product = std::uint16_t(productText.toUInt(nullptr, 16));
        const bool joystick = product == JOYSTICK_PRODUCT_ID;
        OpenedController opened = waitFor(product, mode != QLatin1StringView("unusable"));
        out << "controller " << productText << '\n';
        if (!opened.device) {
            out << "problem " << QString::fromStdString(opened.problem) << '\n';
            continue;
        }
        out << "route " << (opened.device->route() == Device::Route::Hid ? "hid" : "libusb") << '\n';
        if (mode == QLatin1StringView("session")) {
            for (const QString &line : runSession(opened.device.get(), joystick ? 223 : 176, joystick ? 85 : 69))
                out << "result " << line << '\n';
        } else if (mode == QLatin1StringView("slow")) {
            for (int i = 0; i < 2; ++i) {
                std::array<std::uint8_t, kReadLength> status{};
                QElapsedTimer clock;
                clock.start();
                const int result = getReport(opened.device.get(), kStatusReportId, status.data(), kReadLength);
                out << "read " << result << ' ' << clock.elapsed() << '\n';
                QThread::msleep(2000);
            }
        }
    }
    return 0;
}
