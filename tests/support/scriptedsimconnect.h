#pragma once

#include "simconnect.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// SimConnect as the MSFS reader's tests script it, linked in place of the
// built-in layer. It defines the six SimConnect functions: every call is
// recorded with its arguments, Open succeeds only when a test says so, and
// GetNextDispatch hands out queued messages one per call (and fails when none
// is queued, as SimConnect does with nothing waiting). Messages are built byte
// by byte at the offsets the SDK documents, independently of the structures in
// simconnect.h, so a wrong layout there shows up as a wrong reading.
//
// The n-th connection opened gets handle #n. Calls are recorded as lines:
//   Open("Vorkast", null, 0, null, 0)
//   AddToDataDefinition(#1, 0, "SIM ON GROUND", "Bool", 4, 0, 4294967295)
//   RequestDataOnSimObjectType(#1, 0, 0, 0, 0)
//   SubscribeToSystemEvent(#1, 0, "SimStart")
//   GetNextDispatch(#1)
//   Close(#1)
// A handle that was closed is written "#n closed", one never handed out "bad handle";
// calls on either fail.
namespace ScriptedSimConnect {

// Back to the start: no calls, no messages, Open fails, handles count from #1 again.
void reset();
void setOpenSucceeds(bool succeeds);

// The calls recorded since the last takeCalls() or reset().
QStringList takeCalls();

// Whole messages (header included), as GetNextDispatch hands them out.
QByteArray message(DWORD id, const QByteArray &body = {});
QByteArray eventMessage(DWORD eventId);   // a subscribed system event
QByteArray dataMessage(DWORD requestId, const QList<double> &block);  // data by type
QByteArray quitMessage();

void queue(const QByteArray &message);
qsizetype queuedMessages();

} // namespace ScriptedSimConnect
