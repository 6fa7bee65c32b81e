#include "scriptedsimconnect.h"

#include <QQueue>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr HRESULT kOk = 0;
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);  // E_FAIL

struct State
{
    bool openSucceeds = false;
    std::uintptr_t opened = 0;  // handles #1..#opened have been handed out
    QList<bool> closed;         // per handle, index n - 1
    QStringList calls;
    QQueue<QByteArray> messages;
    // The message last handed out; like SimConnect's, valid until the next dispatch.
    std::unique_ptr<std::byte[]> current;
};

State &state()
{
    static State s;
    return s;
}

std::uintptr_t numberOf(HANDLE handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

bool isOpen(HANDLE handle)
{
    const std::uintptr_t n = numberOf(handle);
    return n >= 1 && n <= state().opened && !state().closed[n - 1];
}

QString nameOf(HANDLE handle)
{
    const std::uintptr_t n = numberOf(handle);
    if (n < 1 || n > state().opened)
        return QStringLiteral("bad handle");
    return QStringLiteral("#%1%2").arg(n).arg(state().closed[n - 1] ? " closed" : "");
}

QString quoted(const char *text)
{
    return text ? QStringLiteral("\"%1\"").arg(QString::fromUtf8(text)) : QStringLiteral("null");
}

QString pointer(const void *p)
{
    return p ? QStringLiteral("non-null") : QStringLiteral("null");
}

void record(const QString &call)
{
    state().calls.append(call);
}

} // namespace

namespace ScriptedSimConnect {

void reset()
{
    state() = State{};
}

void setOpenSucceeds(bool succeeds)
{
    state().openSucceeds = succeeds;
}

QStringList takeCalls()
{
    return std::exchange(state().calls, {});
}

void queue(const QByteArray &message)
{
    state().messages.enqueue(message);
}

qsizetype queuedMessages()
{
    return state().messages.size();
}

} // namespace ScriptedSimConnect

bool vorkast::simConnectAvailable()
{
    return true;
}

extern "C" {

HRESULT SimConnect_Open(HANDLE *phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex)
{
    record(QStringLiteral("Open(%1, %2, %3, %4, %5)")
               .arg(quoted(szName), pointer(hWnd))
               .arg(UserEventWin32)
               .arg(pointer(hEventHandle))
               .arg(ConfigIndex));
    if (!phSimConnect)
        return kFail;
    if (!state().openSucceeds) {
        *phSimConnect = nullptr;
        return kFail;
    }
    state().closed.append(false);
    *phSimConnect = reinterpret_cast<HANDLE>(++state().opened);
    return kOk;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char *DatumName, const char *UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    record(QStringLiteral("AddToDataDefinition(%1, %2, %3, %4, %5, %6, %7)")
               .arg(nameOf(hSimConnect))
               .arg(DefineID)
               .arg(quoted(DatumName), quoted(UnitsName))
               .arg(int(DatumType))
               .arg(double(fEpsilon))
               .arg(DatumID));
    return isOpen(hSimConnect) ? kOk : kFail;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type)
{
    record(QStringLiteral("RequestDataOnSimObjectType(%1, %2, %3, %4, %5)")
               .arg(nameOf(hSimConnect))
               .arg(RequestID)
               .arg(DefineID)
               .arg(dwRadiusMeters)
               .arg(int(type)));
    return isOpen(hSimConnect) ? kOk : kFail;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char *SystemEventName)
{
    record(QStringLiteral("SubscribeToSystemEvent(%1, %2, %3)")
               .arg(nameOf(hSimConnect))
               .arg(EventID)
               .arg(quoted(SystemEventName)));
    return isOpen(hSimConnect) ? kOk : kFail;
}

HRESULT SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV **ppData, DWORD *pcbData)
{
    record(QStringLiteral("GetNextDispatch(%1)").arg(nameOf(hSimConnect)));
    State &s = state();
    s.current.reset();
    if (!ppData || !pcbData || !isOpen(hSimConnect) || s.messages.isEmpty())
        return kFail;
    const QByteArray next = s.messages.dequeue();
    // A byte array both aligns the message for any use and gives its structures a home.
    s.current = std::make_unique<std::byte[]>(std::size_t(next.size()));
    std::memcpy(s.current.get(), next.constData(), std::size_t(next.size()));
    *ppData = reinterpret_cast<SIMCONNECT_RECV *>(s.current.get());
    *pcbData = DWORD(next.size());
    return kOk;
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    record(QStringLiteral("Close(%1)").arg(nameOf(hSimConnect)));
    if (!isOpen(hSimConnect))
        return kFail;
    state().closed[numberOf(hSimConnect) - 1] = true;
    return kOk;
}

} // extern "C"
