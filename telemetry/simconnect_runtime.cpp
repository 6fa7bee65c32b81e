// SimConnect on Windows without the SDK: SimConnect.dll (the SDK's
// redistributable) is loaded at the first SimConnect_Open from the program's
// own folder, never from the search path, so no other program's copy is
// picked up by accident. Without the DLL, or with one that lacks any of the
// six functions, every call fails as when the simulator is not running; the
// reason is warned about once, and the program has to be restarted to try
// again.

#include "simconnect.h"
#include "simconnect_unavailable.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>

using namespace vorkast::simconnect_unavailable;

namespace {

struct Api
{
    decltype(&SimConnect_Open) open = nullptr;
    decltype(&SimConnect_AddToDataDefinition) addToDataDefinition = nullptr;
    decltype(&SimConnect_RequestDataOnSimObjectType) requestDataOnSimObjectType = nullptr;
    decltype(&SimConnect_SubscribeToSystemEvent) subscribeToSystemEvent = nullptr;
    decltype(&SimConnect_GetNextDispatch) getNextDispatch = nullptr;
    decltype(&SimConnect_Close) close = nullptr;
};

template <typename Function>
bool resolve(QLibrary &library, const char *name, Function &into)
{
    into = reinterpret_cast<Function>(library.resolve(name));
    if (!into)
        qWarning().noquote() << "MSFS:" << library.fileName() << "has no" << name
                             << "- the MSFS source stays disconnected";
    return into != nullptr;
}

Api load()
{
    static QLibrary library;  // never unloaded: the reader may hold its messages
    library.setFileName(QDir(QCoreApplication::applicationDirPath())
                            .filePath(QStringLiteral("SimConnect.dll")));
    if (!library.load()) {
        qWarning().noquote() << "MSFS: SimConnect.dll not loaded (" << library.errorString()
                             << ") - the MSFS source stays disconnected";
        return {};
    }
    Api api;
    const bool complete = resolve(library, "SimConnect_Open", api.open)
        && resolve(library, "SimConnect_AddToDataDefinition", api.addToDataDefinition)
        && resolve(library, "SimConnect_RequestDataOnSimObjectType",
                   api.requestDataOnSimObjectType)
        && resolve(library, "SimConnect_SubscribeToSystemEvent", api.subscribeToSystemEvent)
        && resolve(library, "SimConnect_GetNextDispatch", api.getNextDispatch)
        && resolve(library, "SimConnect_Close", api.close);
    if (!complete) {
        library.unload();
        return {};
    }
    return api;
}

// Loaded on first use, once per process. All members are set or none.
const Api &api()
{
    static const Api loaded = load();
    return loaded;
}

} // namespace

bool vorkast::simConnectAvailable()
{
    return api().open != nullptr;
}

extern "C" {

HRESULT SimConnect_Open(HANDLE *phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex)
{
    if (!api().open)
        return open(phSimConnect);
    return api().open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle, ConfigIndex);
}

// The calls below need a handle, which only a loaded DLL hands out; the checks
// guard callers that pass one anyway.

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char *DatumName, const char *UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    if (!api().addToDataDefinition)
        return kFail;
    return api().addToDataDefinition(hSimConnect, DefineID, DatumName, UnitsName, DatumType,
                                     fEpsilon, DatumID);
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type)
{
    if (!api().requestDataOnSimObjectType)
        return kFail;
    return api().requestDataOnSimObjectType(hSimConnect, RequestID, DefineID, dwRadiusMeters, type);
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char *SystemEventName)
{
    if (!api().subscribeToSystemEvent)
        return kFail;
    return api().subscribeToSystemEvent(hSimConnect, EventID, SystemEventName);
}

HRESULT SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV **ppData, DWORD *pcbData)
{
    if (!api().getNextDispatch)
        return getNextDispatch(ppData, pcbData);
    return api().getNextDispatch(hSimConnect, ppData, pcbData);
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    if (!api().close)
        return kFail;
    return api().close(hSimConnect);
}

} // extern "C"
