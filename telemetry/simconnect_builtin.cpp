// SimConnect where the SDK is not available: there is never a simulator to
// talk to, so every call fails as SimConnect's own calls do when the
// simulator is not running, and no handle is ever handed out.

#include "simconnect.h"

namespace {
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);  // E_FAIL
}

extern "C" {

HRESULT SimConnect_Open(HANDLE *phSimConnect, LPCSTR, HWND, DWORD, HANDLE, DWORD)
{
    if (phSimConnect)
        *phSimConnect = nullptr;
    return kFail;
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
    if (ppData)
        *ppData = nullptr;
    if (pcbData)
        *pcbData = 0;
    return kFail;
}

HRESULT SimConnect_Close(HANDLE)
{
    return kFail;
}

} // extern "C"
