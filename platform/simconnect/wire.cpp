#include "platform/simconnect/wire.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fmt/format.h>

namespace skyloom::simwire {

namespace {

void putLe32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

std::uint32_t getLe32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

std::uint64_t getLe64(const char* p) {
    return static_cast<std::uint64_t>(getLe32(p)) | (static_cast<std::uint64_t>(getLe32(p + 4)) << 32);
}

void copyText(char* dest, std::size_t capacity, const std::string& s) {
    const std::size_t n = std::min(s.size(), capacity - 1);
    std::memcpy(dest, s.data(), n);
    std::memset(dest + n, 0, capacity - n);
}

std::string fixedText(const char* src, std::size_t capacity) {
    return std::string(src, strnlen(src, capacity));
}

template <typename T> T* allocate(std::vector<std::uint64_t>& storage, std::size_t extra = 0) {
    const std::size_t bytes = sizeof(T) + extra;
    storage.assign((bytes + 7) / 8, 0);
    auto* m = reinterpret_cast<T*>(storage.data());
    m->size = static_cast<std::uint32_t>(bytes);
    return m;
}

} // namespace

std::string_view callName(std::uint32_t kind) {
    switch (static_cast<Call>(kind)) {
    case Call::Open:
        return "Open";
    case Call::Close:
        return "Close";
    case Call::SubscribeToSystemEvent:
        return "SubscribeToSystemEvent";
    case Call::AddToDataDefinition:
        return "AddToDataDefinition";
    case Call::MapClientEventToSimEvent:
        return "MapClientEventToSimEvent";
    case Call::AddClientEventToNotificationGroup:
        return "AddClientEventToNotificationGroup";
    case Call::SetNotificationGroupPriority:
        return "SetNotificationGroupPriority";
    case Call::RequestDataOnSimObject:
        return "RequestDataOnSimObject";
    case Call::RequestDataOnSimObjectType:
        return "RequestDataOnSimObjectType";
    case Call::SetDataOnSimObject:
        return "SetDataOnSimObject";
    case Call::TransmitClientEvent:
        return "TransmitClientEvent";
    case Call::AICreateNonATCAircraft:
        return "AICreateNonATCAircraft";
    case Call::AIRemoveObject:
        return "AIRemoveObject";
    case Call::AIReleaseControl:
        return "AIReleaseControl";
    case Call::AISetAircraftFlightPlan:
        return "AISetAircraftFlightPlan";
    }
    return "";
}

std::string_view withoutPrefix(std::string_view name) {
    constexpr std::string_view prefix = "SimConnect_";
    if (name.starts_with(prefix)) name.remove_prefix(prefix.size());
    return name;
}

void Writer::begin(std::uint32_t kind, std::uint32_t packetId) {
    start_ = out_.size();
    out_.resize(start_ + kHeadSize);
    putLe32(out_.data() + start_ + 4, kind);
    putLe32(out_.data() + start_ + 8, packetId);
}

void Writer::finish() {
    putLe32(out_.data() + start_, static_cast<std::uint32_t>(out_.size() - start_ - kHeadSize));
}

void Writer::u32(std::uint32_t v) {
    char b[4];
    putLe32(b, v);
    out_.append(b, 4);
}

void Writer::i64(std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    u32(static_cast<std::uint32_t>(u));
    u32(static_cast<std::uint32_t>(u >> 32));
}

void Writer::f32(float v) {
    u32(std::bit_cast<std::uint32_t>(v));
}
void Writer::f64(double v) {
    i64(std::bit_cast<std::int64_t>(v));
}

void Writer::text(std::string_view s) {
    block(s.data(), s.size());
}

void Writer::block(const void* data, std::size_t size) {
    u32(static_cast<std::uint32_t>(size));
    if (size > 0) out_.append(static_cast<const char*>(data), size);
}

const char* Reader::take(std::size_t n) {
    if (static_cast<std::size_t>(end_ - p_) < n) throw WireError("frame too short");
    const char* p = p_;
    p_ += n;
    return p;
}

std::uint32_t Reader::u32() {
    return getLe32(take(4));
}
std::int64_t Reader::i64() {
    return static_cast<std::int64_t>(getLe64(take(8)));
}
float Reader::f32() {
    return std::bit_cast<float>(u32());
}
double Reader::f64() {
    return std::bit_cast<double>(getLe64(take(8)));
}

std::string Reader::text() {
    return block();
}

std::string Reader::block() {
    const std::uint32_t n = u32();
    const char* p = take(n);
    return std::string(p, n);
}

FrameHead readHead(const char* data) {
    FrameHead h{getLe32(data), getLe32(data + 4), getLe32(data + 8)};
    if (h.bodyLength > kMaxBody) throw WireError(fmt::format("frame of {} bytes is too long", h.bodyLength));
    return h;
}

void encodeMessage(std::string& out, const SIMCONNECT_RECV& message) {
    Writer w(out);
    w.begin(message.id, 0);
    switch (message.id) {
    case SIMCONNECT_RECV_ID_EXCEPTION: {
        const auto& m = static_cast<const SIMCONNECT_RECV_EXCEPTION&>(message);
        w.u32(m.exception);
        w.u32(m.sendId);
        w.u32(m.index);
        break;
    }
    case SIMCONNECT_RECV_ID_OPEN: {
        const auto& m = static_cast<const SIMCONNECT_RECV_OPEN&>(message);
        w.text(fixedText(m.applicationName, sizeof m.applicationName));
        w.u32(m.applicationVersionMajor);
        w.u32(m.applicationVersionMinor);
        w.u32(m.applicationBuildMajor);
        w.u32(m.applicationBuildMinor);
        w.u32(m.protocolVersion);
        break;
    }
    case SIMCONNECT_RECV_ID_QUIT:
        break;
    case SIMCONNECT_RECV_ID_EVENT:
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
    case SIMCONNECT_RECV_ID_EVENT_FRAME: {
        const auto& m = static_cast<const SIMCONNECT_RECV_EVENT&>(message);
        w.u32(m.groupId);
        w.u32(m.eventId);
        w.u32(m.data);
        if (message.id == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) {
            const auto& a = static_cast<const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE&>(message);
            w.u32(a.objectId);
            w.u32(a.objectType);
        } else if (message.id == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
            const auto& f = static_cast<const SIMCONNECT_RECV_EVENT_FILENAME&>(message);
            w.text(fixedText(f.fileName, sizeof f.fileName));
            w.u32(f.flags);
        } else if (message.id == SIMCONNECT_RECV_ID_EVENT_FRAME) {
            const auto& f = static_cast<const SIMCONNECT_RECV_EVENT_FRAME&>(message);
            w.f32(f.frameRate);
            w.f32(f.simSpeed);
        }
        break;
    }
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
        const auto& m = static_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA&>(message);
        w.u32(m.requestId);
        w.u32(m.objectId);
        w.u32(m.defineId);
        w.u32(m.flags);
        w.u32(m.entryNumber);
        w.u32(m.outOf);
        w.block(m.data(), m.dataSize);
        break;
    }
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: {
        const auto& m = static_cast<const SIMCONNECT_RECV_ASSIGNED_OBJECT_ID&>(message);
        w.u32(m.requestId);
        w.u32(m.objectId);
        break;
    }
    default:
        break; // a head without body
    }
    w.finish();
}

SIMCONNECT_RECV* decodeMessage(std::uint32_t kind, const char* body, std::size_t size,
                               std::vector<std::uint64_t>& storage) {
    Reader r(body, size);
    SIMCONNECT_RECV* result = nullptr;
    switch (kind) {
    case SIMCONNECT_RECV_ID_EXCEPTION: {
        auto* m = allocate<SIMCONNECT_RECV_EXCEPTION>(storage);
        m->exception = r.u32();
        m->sendId = r.u32();
        m->index = r.u32();
        result = m;
        break;
    }
    case SIMCONNECT_RECV_ID_OPEN: {
        auto* m = allocate<SIMCONNECT_RECV_OPEN>(storage);
        copyText(m->applicationName, sizeof m->applicationName, r.text());
        m->applicationVersionMajor = r.u32();
        m->applicationVersionMinor = r.u32();
        m->applicationBuildMajor = r.u32();
        m->applicationBuildMinor = r.u32();
        m->protocolVersion = r.u32();
        result = m;
        break;
    }
    case SIMCONNECT_RECV_ID_QUIT:
        result = allocate<SIMCONNECT_RECV_QUIT>(storage);
        break;
    case SIMCONNECT_RECV_ID_EVENT:
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
    case SIMCONNECT_RECV_ID_EVENT_FRAME: {
        SIMCONNECT_RECV_EVENT* e = nullptr;
        if (kind == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
            e = allocate<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(storage);
        else if (kind == SIMCONNECT_RECV_ID_EVENT_FILENAME)
            e = allocate<SIMCONNECT_RECV_EVENT_FILENAME>(storage);
        else if (kind == SIMCONNECT_RECV_ID_EVENT_FRAME)
            e = allocate<SIMCONNECT_RECV_EVENT_FRAME>(storage);
        else
            e = allocate<SIMCONNECT_RECV_EVENT>(storage);
        e->groupId = r.u32();
        e->eventId = r.u32();
        e->data = r.u32();
        if (kind == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE) {
            auto* a = static_cast<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE*>(e);
            a->objectId = r.u32();
            a->objectType = r.u32();
        } else if (kind == SIMCONNECT_RECV_ID_EVENT_FILENAME) {
            auto* f = static_cast<SIMCONNECT_RECV_EVENT_FILENAME*>(e);
            copyText(f->fileName, sizeof f->fileName, r.text());
            f->flags = r.u32();
        } else if (kind == SIMCONNECT_RECV_ID_EVENT_FRAME) {
            auto* f = static_cast<SIMCONNECT_RECV_EVENT_FRAME*>(e);
            f->frameRate = r.f32();
            f->simSpeed = r.f32();
        }
        result = e;
        break;
    }
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: {
        const std::uint32_t requestId = r.u32();
        const std::uint32_t objectId = r.u32();
        const std::uint32_t defineId = r.u32();
        const std::uint32_t flags = r.u32();
        const std::uint32_t entryNumber = r.u32();
        const std::uint32_t outOf = r.u32();
        const std::string data = r.block();
        auto* m = allocate<SIMCONNECT_RECV_SIMOBJECT_DATA>(storage, data.size());
        m->requestId = requestId;
        m->objectId = objectId;
        m->defineId = defineId;
        m->flags = flags;
        m->entryNumber = entryNumber;
        m->outOf = outOf;
        m->dataSize = static_cast<std::uint32_t>(data.size());
        std::memcpy(reinterpret_cast<char*>(m + 1), data.data(), data.size());
        result = m;
        break;
    }
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: {
        auto* m = allocate<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>(storage);
        m->requestId = r.u32();
        m->objectId = r.u32();
        result = m;
        break;
    }
    default: {
        // An id this client does not know: delivered as a bare head, so that the caller can log it.
        result = allocate<SIMCONNECT_RECV>(storage);
        break;
    }
    }
    result->id = kind;
    return result;
}

} // namespace skyloom::simwire
