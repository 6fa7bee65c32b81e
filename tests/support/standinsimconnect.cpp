// The scripted SimConnect as a stand-in SimConnect.dll: the six SimConnect
// functions come from scriptedsimconnect.cpp; these C functions let a test
// (through scriptedsimconnect_client.cpp) script the DLL's one instance.

#include "scriptedsimconnect.h"

extern "C" {

void ScriptedSimConnect_reset()
{
    ScriptedSimConnect::reset();
}

void ScriptedSimConnect_setOpenSucceeds(int succeeds)
{
    ScriptedSimConnect::setOpenSucceeds(succeeds != 0);
}

// The calls one per line; valid until the next call of this function.
const char *ScriptedSimConnect_takeCalls()
{
    static QByteArray joined;
    joined = ScriptedSimConnect::takeCalls().join(u'\n').toUtf8();
    return joined.constData();
}

void ScriptedSimConnect_queue(const char *message, int size)
{
    ScriptedSimConnect::queue(QByteArray(message, size));
}

long long ScriptedSimConnect_queuedMessages()
{
    return ScriptedSimConnect::queuedMessages();
}

} // extern "C"

#ifdef VORKAST_STANDIN_OPEN_SUCCEEDS
namespace {
// Connects without being told to, so that a test without a script sees it used.
const bool openSucceeds = (ScriptedSimConnect::setOpenSucceeds(true), true);
} // namespace
#endif
