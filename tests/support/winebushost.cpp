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

int runToEnd(QProcess &process, const QString &program, const QStringList &args)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, args);
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 128;
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

        for (const char *option : {"-k", "-w"}) {
            QProcess server;
            server.setProcessEnvironment(environment);
            runToEnd(server, QStringLiteral("wineserver"), {QString::fromLatin1(option)});
        }
    }
    return status;
}
