// SimConnect where neither the SDK nor SimConnect.dll is available.

#include "simconnect.h"
#include "simconnect_unavailable.h"

using namespace vorkast::simconnect_unavailable;

bool vorkast::simConnectAvailable()
{
    return false;
}

extern "C" {

HRESULT SimConnect_Open(HANDLE *phSimConnect, LPCSTR, HWND, DWORD, HANDLE, DWORD)
{
    return open(phSimConnect);
}

HRESULT SimConnect_AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, const char *,
                                       const char *, SIMCONNECT_DATATYPE, float, DWORD)
{
    return kFail;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE, SIMCONNECT_DATA_REQUEST_ID,
                                              SIMCONNECT_DATA_DEFINITION_ID, DWORD,
                                              SIMCONNECT_SIMOBJECT_TYPE)
{
    return kFail;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char *)
{
    return kFail;
}

HRESULT SimConnect_GetNextDispatch(HANDLE, SIMCONNECT_RECV **ppData, DWORD *pcbData)
{
    return getNextDispatch(ppData, pcbData);
}

HRESULT SimConnect_Close(HANDLE)
{
    return kFail;
}

} // extern "C"
