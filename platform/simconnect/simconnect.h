// Simulator client API.
//
// A small client for the simulator stand-in (tools/simstub) or any peer that speaks the same protocol:
// length-prefixed binary frames over TCP (see wire.h). The calls carry the names the simulator link uses;
// every constant, structure layout and encoding in this header is our own.
//
// Server address: the `address` argument of SimConnect_Open ("host:port"), else the environment variable
// SKYLOOM_SIM_ADDRESS ("host:port"), else 127.0.0.1 at port 47810 (kSimConnectDefaultPort).
//
// Results: every call returns an HRESULT-like integer, 0 on success and a negative value on failure. A call
// only fails locally (bad arguments, no connection, an injected failure); what the simulator thinks of a
// request arrives later through the dispatch as a SIMCONNECT_RECV_ID_EXCEPTION message whose sendId is the
// packet id of the request (SimConnect_GetLastSentPacketID right after the call).
//
// Threads: every send is thread-safe. Packet ids rise by one per sent request on each connection, and
// SimConnect_GetLastSentPacketID answers the id of the last request the calling thread sent on that
// connection. SimConnect_CallDispatch and SimConnect_Close belong to one thread (the one that opened).
// Requests sent while that thread is inside SimConnect_CallDispatch are collected and written in one go when
// the dispatch returns, so a frame's worth of commands costs one system call.
//
// A lost connection ends the dispatch the way a closed simulator does: the messages already received are
// delivered, then one SIMCONNECT_RECV_ID_QUIT message; after that every call fails with
// SIMCONNECT_E_NOT_CONNECTED.
#pragma once

#include <cstddef>
#include <cstdint>

using HRESULT = std::int32_t;

inline constexpr HRESULT SIMCONNECT_OK = 0;
inline constexpr HRESULT SIMCONNECT_E_FAIL = -1;          // the request could not be sent
inline constexpr HRESULT SIMCONNECT_E_NOT_CONNECTED = -2; // no connection, or it was lost
inline constexpr HRESULT SIMCONNECT_E_INVALIDARG = -3;    // a null handle or argument, a text too long
inline constexpr HRESULT SIMCONNECT_E_INJECTED = -4;      // failure set up with SimConnect_InjectFailure

inline constexpr bool SimConnect_Succeeded(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool SimConnect_Failed(HRESULT hr) {
    return hr < 0;
}

inline constexpr std::uint16_t kSimConnectDefaultPort = 47810;
inline constexpr const char* kSimConnectAddressEnv = "SKYLOOM_SIM_ADDRESS";

struct SimConnectConnection;
using HSIMCONNECT = SimConnectConnection*;

// ---- constants --------------------------------------------------------------------------------------

// Object id that names the user's aircraft in requests; replies carry its real object id.
inline constexpr std::uint32_t SIMCONNECT_OBJECT_ID_USER = 0;
// "No datum id" for SimConnect_AddToDataDefinition.
inline constexpr std::uint32_t SIMCONNECT_UNUSED = 0x7fffffffu;
inline constexpr std::uint32_t SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;
inline constexpr std::uint32_t SIMCONNECT_EVENT_FLAG_DEFAULT = 0;
inline constexpr std::uint32_t SIMCONNECT_DATA_SET_FLAG_DEFAULT = 0;
inline constexpr std::uint32_t SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT = 0;

enum SIMCONNECT_DATATYPE : std::uint32_t {
    SIMCONNECT_DATATYPE_INVALID = 0,
    SIMCONNECT_DATATYPE_INT32 = 1,    // 4 bytes
    SIMCONNECT_DATATYPE_INT64 = 2,    // 8 bytes
    SIMCONNECT_DATATYPE_FLOAT32 = 3,  // 4 bytes
    SIMCONNECT_DATATYPE_FLOAT64 = 4,  // 8 bytes
    SIMCONNECT_DATATYPE_STRING32 = 5, // 32 bytes, NUL-terminated, NUL-padded
    SIMCONNECT_DATATYPE_STRINGV = 6,  // variable length, NUL-terminated
};

// Bytes a fixed-size datum takes in a data block; 0 for SIMCONNECT_DATATYPE_STRINGV and invalid types.
std::uint32_t SimConnect_DatumSize(std::uint32_t dataType);

enum SIMCONNECT_PERIOD : std::uint32_t {
    SIMCONNECT_PERIOD_NEVER = 0,
    SIMCONNECT_PERIOD_ONCE = 1,
    SIMCONNECT_PERIOD_VISUAL_FRAME = 2,
    SIMCONNECT_PERIOD_SIM_FRAME = 3,
    SIMCONNECT_PERIOD_SECOND = 4,
};

enum SIMCONNECT_SIMOBJECT_TYPE : std::uint32_t {
    SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
    SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
    SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
    SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER = 3,
    SIMCONNECT_SIMOBJECT_TYPE_BOAT = 4,
    SIMCONNECT_SIMOBJECT_TYPE_GROUND = 5,
};

// Received message ids.
enum SIMCONNECT_RECV_ID : std::uint32_t {
    SIMCONNECT_RECV_ID_NULL = 0,
    SIMCONNECT_RECV_ID_EXCEPTION = 1,
    SIMCONNECT_RECV_ID_OPEN = 2,
    SIMCONNECT_RECV_ID_QUIT = 3,
    SIMCONNECT_RECV_ID_EVENT = 4,
    SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
    SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
    SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
    SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
    SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
};

// Exception codes carried by SIMCONNECT_RECV_ID_EXCEPTION.
enum SIMCONNECT_EXCEPTION : std::uint32_t {
    SIMCONNECT_EXCEPTION_NONE = 0,
    SIMCONNECT_EXCEPTION_ERROR = 1,           // a generic refusal (also used by fault injection)
    SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3, // an unknown object, definition, event or group id
    SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
    SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7, // an unknown datum, unit or event name
    SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11, // more than 1000 AI objects
    SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
    SIMCONNECT_EXCEPTION_DATA_ERROR = 20, // a value in a data block the simulator cannot take
    SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22, // e.g. a title that is not installed
    SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// ---- received messages --------------------------------------------------------------------------------
// Every message starts with SIMCONNECT_RECV; `size` is the size of the whole message in bytes.

struct SIMCONNECT_RECV {
    std::uint32_t size;
    std::uint32_t id; // SIMCONNECT_RECV_ID
};

struct SIMCONNECT_RECV_EXCEPTION : SIMCONNECT_RECV {
    std::uint32_t exception; // SIMCONNECT_EXCEPTION
    std::uint32_t sendId;    // packet id of the request that caused it, 0 when unknown
    std::uint32_t index;     // index of the offending argument, 0 when none
};

struct SIMCONNECT_RECV_OPEN : SIMCONNECT_RECV {
    char applicationName[256];
    std::uint32_t applicationVersionMajor;
    std::uint32_t applicationVersionMinor;
    std::uint32_t applicationBuildMajor;
    std::uint32_t applicationBuildMinor;
    std::uint32_t protocolVersion;
};

struct SIMCONNECT_RECV_QUIT : SIMCONNECT_RECV {};

struct SIMCONNECT_RECV_EVENT : SIMCONNECT_RECV {
    std::uint32_t groupId;
    std::uint32_t eventId; // the client's id given at subscription or mapping
    std::uint32_t data;    // "Sim": 1 running, 0 stopped
};

struct SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE : SIMCONNECT_RECV_EVENT {
    std::uint32_t objectId;
    std::uint32_t objectType; // SIMCONNECT_SIMOBJECT_TYPE
};

struct SIMCONNECT_RECV_EVENT_FILENAME : SIMCONNECT_RECV_EVENT {
    char fileName[260];
    std::uint32_t flags;
};

struct SIMCONNECT_RECV_EVENT_FRAME : SIMCONNECT_RECV_EVENT {
    float frameRate;
    float simSpeed;
};

// Followed directly by `dataSize` bytes, 8-byte aligned: the data block laid out by the definition, datum
// after datum (FLOAT64 and INT64 take 8 bytes, STRING32 32, STRINGV its text and a NUL).
struct SIMCONNECT_RECV_SIMOBJECT_DATA : SIMCONNECT_RECV {
    std::uint32_t requestId;
    std::uint32_t objectId;
    std::uint32_t defineId;
    std::uint32_t flags;
    std::uint32_t entryNumber; // 1-based index within one reply
    std::uint32_t outOf;       // number of entries of the reply
    std::uint32_t dataSize;
    std::uint32_t reserved;

    const std::byte* data() const { return reinterpret_cast<const std::byte*>(this + 1); }
};

struct SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE : SIMCONNECT_RECV_SIMOBJECT_DATA {};

struct SIMCONNECT_RECV_ASSIGNED_OBJECT_ID : SIMCONNECT_RECV {
    std::uint32_t requestId;
    std::uint32_t objectId;
};

// Initial position of an AI creation: degrees, feet, degrees; onGround 0 or 1; airspeed in knots.
struct SIMCONNECT_DATA_INITPOSITION {
    double latitude;
    double longitude;
    double altitude;
    double pitch;
    double bank;
    double heading;
    std::uint32_t onGround;
    std::uint32_t airspeed;
};

using DispatchProc = void (*)(SIMCONNECT_RECV* data, std::uint32_t size, void* context);

// ---- calls --------------------------------------------------------------------------------------------

// Connects and sends the open request under `name`; the simulator answers with SIMCONNECT_RECV_OPEN through
// the dispatch. `address` may be null (environment variable, then the default).
HRESULT SimConnect_Open(HSIMCONNECT* handle, const char* name, const char* address = nullptr);
// Sends a close request, closes the socket and frees the handle (also after a lost connection). Not from
// inside the dispatch procedure, and only when no other thread still sends on the handle.
HRESULT SimConnect_Close(HSIMCONNECT handle);
// Delivers every message received so far to `proc`, in order, and returns. An exception thrown by `proc`
// leaves through this call; the remaining messages stay for the next call.
HRESULT SimConnect_CallDispatch(HSIMCONNECT handle, DispatchProc proc, void* context);

HRESULT SimConnect_SubscribeToSystemEvent(HSIMCONNECT handle, std::uint32_t eventId, const char* eventName);
HRESULT SimConnect_AddToDataDefinition(HSIMCONNECT handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName,
                                       std::uint32_t dataType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float epsilon = 0, std::uint32_t datumId = SIMCONNECT_UNUSED);
HRESULT SimConnect_MapClientEventToSimEvent(HSIMCONNECT handle, std::uint32_t eventId, const char* eventName);
HRESULT SimConnect_AddClientEventToNotificationGroup(HSIMCONNECT handle, std::uint32_t groupId,
                                                     std::uint32_t eventId, bool maskable = false);
HRESULT SimConnect_SetNotificationGroupPriority(HSIMCONNECT handle, std::uint32_t groupId,
                                                std::uint32_t priority);
HRESULT SimConnect_RequestDataOnSimObject(HSIMCONNECT handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period,
                                          std::uint32_t flags = SIMCONNECT_DATA_REQUEST_FLAG_DEFAULT,
                                          std::uint32_t origin = 0, std::uint32_t interval = 0,
                                          std::uint32_t limit = 0);
// Every object of `objectType` within `radiusMeters` of the user aircraft (the user included), one
// SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE message per object.
HRESULT SimConnect_RequestDataOnSimObjectType(HSIMCONNECT handle, std::uint32_t requestId,
                                              std::uint32_t defineId, std::uint32_t radiusMeters,
                                              std::uint32_t objectType);
// `unitSize` bytes of data (arrayCount 0 or 1) laid out by the definition.
HRESULT SimConnect_SetDataOnSimObject(HSIMCONNECT handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data);
HRESULT SimConnect_TransmitClientEvent(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags);
HRESULT SimConnect_AICreateNonATCAircraft(HSIMCONNECT handle, const char* containerTitle,
                                          const char* tailNumber, const SIMCONNECT_DATA_INITPOSITION& initPos,
                                          std::uint32_t requestId);
HRESULT SimConnect_AIRemoveObject(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t requestId);
HRESULT SimConnect_AIReleaseControl(HSIMCONNECT handle, std::uint32_t objectId, std::uint32_t requestId);
HRESULT SimConnect_AISetAircraftFlightPlan(HSIMCONNECT handle, std::uint32_t objectId,
                                           const char* flightPlanPath, std::uint32_t requestId);
// The packet id of the last request the calling thread sent on this connection (0 before the first).
HRESULT SimConnect_GetLastSentPacketID(HSIMCONNECT handle, std::uint32_t* packetId);

// ---- additions of our own -----------------------------------------------------------------------------

// Makes the next `count` calls named `callName` (e.g. "AICreateNonATCAircraft" or
// "SimConnect_AICreateNonATCAircraft") on this handle fail with SIMCONNECT_E_INJECTED without sending
// anything; count 0 removes the failure. For tests of the callers' failure paths.
HRESULT SimConnect_InjectFailure(HSIMCONNECT handle, const char* callName, std::uint32_t count);

// Collects the requests the calling thread sends until SimConnect_EndBatch and writes them in one go.
// Batches nest; SimConnect_CallDispatch opens one for its own duration.
HRESULT SimConnect_BeginBatch(HSIMCONNECT handle);
HRESULT SimConnect_EndBatch(HSIMCONNECT handle);
