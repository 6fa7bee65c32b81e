// The messages of the scripted SimConnect, built byte by byte; kept apart from
// its state so that a test can build messages for a stand-in SimConnect.dll.

#include "scriptedsimconnect.h"

#include <QtEndian>

namespace {

constexpr DWORD kUnknownGroup = 0xFFFFFFFF;  // uGroupID of a system event
constexpr DWORD kServerVersion = 5;

void appendDword(QByteArray &bytes, DWORD value)
{
    const quint32 le = qToLittleEndian(quint32(value));
    bytes.append(reinterpret_cast<const char *>(&le), sizeof le);
}

} // namespace

namespace ScriptedSimConnect {

QByteArray message(DWORD id, const QByteArray &body)
{
    QByteArray bytes;
    appendDword(bytes, DWORD(12 + body.size()));  // dwSize
    appendDword(bytes, kServerVersion);           // dwVersion
    appendDword(bytes, id);                       // dwID
    return bytes + body;
}

QByteArray eventMessage(DWORD eventId)
{
    QByteArray body;
    appendDword(body, kUnknownGroup);  // uGroupID, offset 12
    appendDword(body, eventId);        // uEventID, offset 16
    appendDword(body, 0);              // dwData, offset 20
    return message(SIMCONNECT_RECV_ID_EVENT, body);
}

QByteArray dataMessage(DWORD requestId, const QList<double> &block)
{
    QByteArray body;
    appendDword(body, requestId);           // dwRequestID, offset 12
    appendDword(body, 0);                   // dwObjectID: the user's aircraft
    appendDword(body, 0);                   // dwDefineID
    appendDword(body, 0);                   // dwFlags
    appendDword(body, 1);                   // dwentrynumber
    appendDword(body, 1);                   // dwoutof
    appendDword(body, DWORD(block.size())); // dwDefineCount
    for (double value : block)              // from dwData, offset 40
        body.append(reinterpret_cast<const char *>(&value), sizeof value);
    return message(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, body);
}

QByteArray quitMessage()
{
    return message(SIMCONNECT_RECV_ID_QUIT);
}

} // namespace ScriptedSimConnect
