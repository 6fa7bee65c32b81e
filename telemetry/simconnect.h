#pragma once

// The SimConnect interface the MSFS reader is written against. With the SDK
// configured (VORKAST_SIMCONNECT_SDK) this is the SDK's own header; otherwise
// it is the part of that interface the reader uses, with the SDK's names,
// signatures, values and layouts, so the reader compiles unchanged either way
// and links against whichever implementation the build provides.

#if defined(_WIN32)
// Windows' own types, which SimConnect.h relies on and Qt's headers declare too.
#include <windows.h>
#endif

#if defined(VORKAST_SIMCONNECT_SDK)

#include <SimConnect.h>

#else

#if !defined(_WIN32)
#include <cstdint>

// Windows' widths: LONG and DWORD are 32 bits on every Windows target.
using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using HANDLE = void *;
using HWND = void *;
using LPCSTR = const char *;
#endif

using SIMCONNECT_DATA_DEFINITION_ID = DWORD;
using SIMCONNECT_DATA_REQUEST_ID = DWORD;
using SIMCONNECT_CLIENT_EVENT_ID = DWORD;

inline constexpr DWORD SIMCONNECT_UNUSED = 0xFFFFFFFF;

enum SIMCONNECT_DATATYPE {
    SIMCONNECT_DATATYPE_FLOAT64 = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
};

enum SIMCONNECT_RECV_ID {
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
};

#pragma pack(push, 1)
struct SIMCONNECT_RECV
{
    DWORD dwSize;  // of the whole message
    DWORD dwVersion;
    DWORD dwID;    // a SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_QUIT : public SIMCONNECT_RECV
{
};

struct SIMCONNECT_RECV_EVENT : public SIMCONNECT_RECV
{
    DWORD uGroupID;
    DWORD uEventID;
    DWORD dwData;
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA : public SIMCONNECT_RECV
{
    DWORD dwRequestID;
    DWORD dwObjectID;
    DWORD dwDefineID;
    DWORD dwFlags;
    DWORD dwentrynumber;
    DWORD dwoutof;
    DWORD dwDefineCount;
    DWORD dwData;  // the first 4 bytes of the data block, which runs on past the struct
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : public SIMCONNECT_RECV_SIMOBJECT_DATA
{
};
#pragma pack(pop)

static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_QUIT) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == 24);
static_assert(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE) == 44);

extern "C" {
HRESULT SimConnect_Open(HANDLE *phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                        HANDLE hEventHandle, DWORD ConfigIndex);
HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char *DatumName, const char *UnitsName,
                                       SIMCONNECT_DATATYPE DatumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float fEpsilon = 0, DWORD DatumID = SIMCONNECT_UNUSED);
HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type);
HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char *SystemEventName);
HRESULT SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV **ppData, DWORD *pcbData);
HRESULT SimConnect_Close(HANDLE hSimConnect);
}

#endif

namespace vorkast {
// Not SimConnect's: whether the layer linked in can reach a simulator at all
// (false for the built-in layer, and for the run-time one without a usable
// SimConnect.dll). With the SDK nothing defines it: SimConnect is there.
bool simConnectAvailable();
} // namespace vorkast
