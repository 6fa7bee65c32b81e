// vorkast-virtual-hardware [--hid] [program [arguments...]]
//
// Starts vorkast-settings (or `program`) with a virtual joystick and virtual
// pedals on an emulated USB bus, passes its exit code on, and prints what the
// controllers received when it ends. --hid: the kernel's HID driver holds them,
// as on a desktop; wine's HID stack needs that to hand them to a Windows build.

#include "virtualhardware.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void print(const QString &line)
{
    std::fputs(qPrintable(QStringLiteral("[virtual hardware] ") + line + u'\n'), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: %s [--hid] [program [arguments...]]\n"
                    "Runs program (default %s) with a virtual joystick and virtual pedals;\n"
                    "--hid: held by the HID driver, with hidraw nodes (for wine).\n",
                    argv[0], VORKAST_APP_PATH);
        return 0;
    }
    EmulatedUsbBus::ensurePreloaded(argc, argv);
    // Widgets only to take the form's default values, never shown: no display,
    // and no options of the program's own are taken away from it.
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char *toolArgv[] = {argv[0], platform, offscreen, nullptr};
    int toolArgc = 3;
    QApplication app(toolArgc, toolArgv);

    // Ctrl+C or a kill: end the program first, so that the summary still comes.
    // A handler rather than SIG_IGN, which the program would inherit.
    if (::pipe(signalPipe) != 0)
        return 127;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    const bool hid = argc > 1 && std::strcmp(argv[1], "--hid") == 0;
    VirtualHardware hardware(hid ? EmulatedUsbBus::Driver::Hid : EmulatedUsbBus::Driver::None);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &hardware, [&hardware] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        hardware.terminate();
    });
    QObject::connect(&hardware, &VirtualHardware::message, &print);
    QObject::connect(&hardware, &VirtualHardware::finished, &app, [&](int exitCode) {
        print(QStringLiteral("program ended with exit code %1").arg(exitCode));
        for (const QString &line : hardware.summary().split(u'\n', Qt::SkipEmptyParts))
            print(line);
        app.exit(exitCode);
    });

    QStringList arguments;
    for (int i = hid ? 2 : 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program =
        arguments.isEmpty() ? QStringLiteral(VORKAST_APP_PATH) : arguments.takeFirst();
    print(QStringLiteral("starting %1 with a virtual joystick and virtual pedals").arg(program));
    // From the event loop, so that even a program that cannot start ends it.
    QTimer::singleShot(0, &hardware, [&] { hardware.start(program, arguments); });
    return app.exec();
}
