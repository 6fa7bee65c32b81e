# The SimConnect the MSFS reader calls, chosen at configure time:
# - VORKAST_SIMCONNECT_SDK set (Windows, MSVC): the SDK's SimConnect.h and SimConnect.lib;
#   SimConnect.dll has to sit beside the executable at run time.
# - other Windows builds: simconnect_runtime, which loads SimConnect.dll from the
#   executable's folder at run time; no SDK is needed to build.
# - elsewhere simconnect_builtin, in which SimConnect_Open always fails, as when
#   the simulator is not running.
# simconnect_api is the header alone; vorkast_simconnect adds the implementation.
#
# Both layers of our own are static archives on purpose: an executable that brings
# its own definitions of the six functions as object files (the reader tests'
# scripted SimConnect) has them resolved before the archive is searched, so the
# archive's member is never pulled in and there is no duplicate.

add_library(simconnect_api INTERFACE)
target_include_directories(simconnect_api INTERFACE ${CMAKE_CURRENT_LIST_DIR})

if(VORKAST_SIMCONNECT_SDK)
    if(NOT WIN32)
        message(FATAL_ERROR "VORKAST_SIMCONNECT_SDK: the SimConnect SDK is for Windows builds only")
    endif()
    set(_simconnect_header "${VORKAST_SIMCONNECT_SDK}/include/SimConnect.h")
    if(NOT EXISTS "${_simconnect_header}")
        message(FATAL_ERROR "VORKAST_SIMCONNECT_SDK: ${_simconnect_header} not found")
    endif()
    find_library(_simconnect_library NAMES SimConnect
                 PATHS "${VORKAST_SIMCONNECT_SDK}/lib" NO_DEFAULT_PATH NO_CACHE REQUIRED)
    message(STATUS "MSFS telemetry: SimConnect SDK in ${VORKAST_SIMCONNECT_SDK}")
    target_include_directories(simconnect_api INTERFACE "${VORKAST_SIMCONNECT_SDK}/include")
    target_compile_definitions(simconnect_api INTERFACE VORKAST_SIMCONNECT_SDK)
    add_library(vorkast_simconnect INTERFACE)
    target_link_libraries(vorkast_simconnect INTERFACE simconnect_api "${_simconnect_library}")
elseif(WIN32)
    message(STATUS "MSFS telemetry: SimConnect.dll loaded at run time from the program's folder")
    add_library(simconnect_runtime STATIC simconnect.h simconnect_unavailable.h simconnect_runtime.cpp)
    target_link_libraries(simconnect_runtime PUBLIC simconnect_api PRIVATE Qt6::Core)
    add_library(vorkast_simconnect ALIAS simconnect_runtime)
else()
    message(STATUS "MSFS telemetry: built-in SimConnect (no SDK; the MSFS source stays disconnected)")
    add_library(simconnect_builtin STATIC simconnect.h simconnect_unavailable.h simconnect_builtin.cpp)
    target_link_libraries(simconnect_builtin PUBLIC simconnect_api)
    add_library(vorkast_simconnect ALIAS simconnect_builtin)
endif()
