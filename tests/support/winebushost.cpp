// Runs a Windows test program under wine on an emulated bus of its own:
//
//   vorkast-wine-bus TEMPLATE COMMAND [ARGS...]
//
// TEMPLATE is an initialised wine prefix whose winebus uses its udev backend.
// It is copied for this run, so the wine session (wineserver, winebus) starts
// inside the bus and sees its hidraw nodes; the session ends before the bus
// goes. The program reaches the bus through BusService on loopback, the port
// in VORKAST_BUS_PORT. The exit code is COMMAND's.

#include "busservice.h"
#include "buswire.h"
#include "emulatedusbbus.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void wineserver(const QProcessEnvironment &environment, const char *option)
{
    QProcess server;
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(QStringLiteral("wineserver"), {QString::fromLatin1(option)});
    server.waitForFinished(-1);
}

} // namespace

int main(int argc, char *argv[])
{
    EmulatedUsbBus::ensurePreloaded(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: vorkast-wine-bus TEMPLATE COMMAND [ARGS...]\n");
        return 2;
    }
    QTemporaryDir work;
    const QString prefix = work.filePath(QStringLiteral("prefix"));
    if (!work.isValid() || QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), args[1], prefix}) != 0) {
        std::fprintf(stderr, "vorkast-wine-bus: cannot copy the wine prefix %s\n", qPrintable(args[1]));
        return 2;
    }

    int status = 0;
    {
        EmulatedUsbBus bus;
        BusService service(bus);
        if (!service.isListening()) {
            std::fprintf(stderr, "vorkast-wine-bus: cannot listen on loopback\n");
            return 2;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), prefix);
        environment.insert(QString::fromLatin1(buswire::kPortVariable), QString::number(service.port()));

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(&program, &QProcess::finished, &app, [&](int code, QProcess::ExitStatus how) {
            status = how == QProcess::NormalExit ? code : 128;
            app.quit();
        });
        QObject::connect(&program, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                status = 127;
                app.quit();
            }
        });
        program.start(args[2], args.mid(3));
        app.exec();

        wineserver(environment, "-k");  // the session ends before the bus
        wineserver(environment, "-w");
    }
    return status;
}
