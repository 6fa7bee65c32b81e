#pragma once

#include "simconnect.h"

// SimConnect as it answers when there is no simulator to talk to: every call
// fails, as SimConnect's own do when the simulator is not running, and no
// handle or message is ever handed out.
namespace vorkast::simconnect_unavailable {

inline constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);  // E_FAIL

inline HRESULT open(HANDLE *phSimConnect)
{
    if (phSimConnect)
        *phSimConnect = nullptr;
    return kFail;
}

inline HRESULT getNextDispatch(SIMCONNECT_RECV **ppData, DWORD *pcbData)
{
    if (ppData)
        *ppData = nullptr;
    if (pcbData)
        *pcbData = 0;
    return kFail;
}

} // namespace vorkast::simconnect_unavailable
