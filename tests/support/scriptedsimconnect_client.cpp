// The scripted SimConnect's test interface, for a test whose SimConnect is the
// stand-in SimConnect.dll beside it: every call goes to the DLL's one
// instance, the same module that the reader loads.

#include "scriptedsimconnect.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <cstdlib>
#include <cstdio>

namespace {

// The DLL is loaded once; every function is looked up in that one instance.
QFunctionPointer lookUp(const char *name)
{
    static QLibrary library(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("SimConnect.dll")));
    const QFunctionPointer function = library.resolve(name);
    if (!function) {
        // Nothing a test could do without it.
        std::fprintf(stderr, "stand-in SimConnect.dll: %s: %s\n", name,
                     qPrintable(library.errorString()));
        std::abort();
    }
    return function;
}

template <typename Function>
Function exported(const char *name)
{
    return reinterpret_cast<Function>(lookUp(name));
}

} // namespace

namespace ScriptedSimConnect {

void reset()
{
    exported<void (*)()>("ScriptedSimConnect_reset")();
}

void setOpenSucceeds(bool succeeds)
{
    exported<void (*)(int)>("ScriptedSimConnect_setOpenSucceeds")(succeeds ? 1 : 0);
}

QStringList takeCalls()
{
    const QString joined =
        QString::fromUtf8(exported<const char *(*)()>("ScriptedSimConnect_takeCalls")());
    return joined.isEmpty() ? QStringList() : joined.split(u'\n');
}

void queue(const QByteArray &message)
{
    exported<void (*)(const char *, int)>("ScriptedSimConnect_queue")(message.constData(),
                                                                        int(message.size()));
}

qsizetype queuedMessages()
{
    return qsizetype(exported<long long (*)()>("ScriptedSimConnect_queuedMessages")());
}

} // namespace ScriptedSimConnect
