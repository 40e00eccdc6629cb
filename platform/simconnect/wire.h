// clang-format off
// The byte encoding between the simulator client and its server.
//
// A frame is a 12-byte head followed by the body:
//   u32 body length, u32 kind, u32 packet id (client requests: rising per connection from 1; server
//   messages: 0), then `body length` bytes.
// All numbers are little-endian; f32/f64 are IEEE-754 bit patterns; a text is u32 length + bytes (no NUL);
// a byte block is u32 length + bytes.
//
// Client request bodies, by kind (field order):
//   Open                               text name, u32 protocol version
//   Close                              -
//   SubscribeToSystemEvent             u32 event id, text event name
//   AddToDataDefinition                u32 define id, text datum name, text units, u32 data type,
//                                      f32 epsilon, u32 datum id
//   MapClientEventToSimEvent           u32 event id, text event name
//   AddClientEventToNotificationGroup  u32 group id, u32 event id, u32 maskable
//   SetNotificationGroupPriority       u32 group id, u32 priority
//   RequestDataOnSimObject             u32 request id, u32 define id, u32 object id, u32 period, u32 flags,
//                                      u32 origin, u32 interval, u32 limit
//   RequestDataOnSimObjectType         u32 request id, u32 define id, u32 radius (m), u32 object type
//   SetDataOnSimObject                 u32 define id, u32 object id, u32 flags, u32 array count, block data
//   TransmitClientEvent                u32 object id, u32 event id, u32 data, u32 group id, u32 flags
//   AICreateNonATCAircraft             text title, text tail number, 6 x f64 (lat, lon, alt, pitch, bank,
//                                      heading), u32 on ground, u32 airspeed, u32 request id
//   AIRemoveObject, AIReleaseControl   u32 object id, u32 request id
//   AISetAircraftFlightPlan            u32 object id, text path, u32 request id
// Server message kinds are the SIMCONNECT_RECV_ID values; their bodies are the fields of the matching
// SIMCONNECT_RECV_* structure after its head, in declaration order (texts as texts, the data of
// SIMOBJECT_DATA as a byte block).
// clang-format on
#pragma once

#include "platform/simconnect/simconnect.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace skyloom::simwire {

inline constexpr std::uint32_t kProtocolVersion = 1;
inline constexpr std::size_t kHeadSize = 12;
inline constexpr std::uint32_t kMaxBody = 4u * 1024 * 1024;

enum class Call : std::uint32_t {
    Open = 1001,
    Close,
    SubscribeToSystemEvent,
    AddToDataDefinition,
    MapClientEventToSimEvent,
    AddClientEventToNotificationGroup,
    SetNotificationGroupPriority,
    RequestDataOnSimObject,
    RequestDataOnSimObjectType,
    SetDataOnSimObject,
    TransmitClientEvent,
    AICreateNonATCAircraft,
    AIRemoveObject,
    AIReleaseControl,
    AISetAircraftFlightPlan,
};

// The call's name without the "SimConnect_" prefix, "" for an unknown kind.
std::string_view callName(std::uint32_t kind);
// A call's name as callName() gives it: without a leading "SimConnect_".
std::string_view withoutPrefix(std::string_view name);

struct WireError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}
    // Starts a frame; finish() fills in its length.
    void begin(std::uint32_t kind, std::uint32_t packetId);
    void finish();
    void u32(std::uint32_t v);
    void i64(std::int64_t v);
    void f32(float v);
    void f64(double v);
    void text(std::string_view s);
    void block(const void* data, std::size_t size);

private:
    std::string& out_;
    std::size_t start_ = 0;
};

class Reader {
public:
    Reader(const char* data, std::size_t size) : p_(data), end_(data + size) {}
    std::uint32_t u32();
    std::int64_t i64();
    float f32();
    double f64();
    std::string text();
    std::string block();
    bool atEnd() const { return p_ == end_; }

private:
    const char* take(std::size_t n);
    const char* p_;
    const char* end_;
};

struct FrameHead {
    std::uint32_t bodyLength;
    std::uint32_t kind;
    std::uint32_t packetId;
};

// Reads a head from at least kHeadSize bytes; throws WireError when the body is too long.
FrameHead readHead(const char* data);

// Server side: appends the frame of a received message (its size and id fields are ignored; the id is
// taken from the kind). For SIMOBJECT_DATA(_BYTYPE), `message.dataSize` bytes follow the structure.
void encodeMessage(std::string& out, const SIMCONNECT_RECV& message);

// Client side: builds the message structure of a server frame into `storage` (aligned, resized as needed)
// and returns it; throws WireError on a malformed or unknown frame.
SIMCONNECT_RECV* decodeMessage(std::uint32_t kind, const char* body, std::size_t size,
                               std::vector<std::uint64_t>& storage);

} // namespace skyloom::simwire
