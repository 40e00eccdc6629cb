#include "tools/simstub/simstub.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace skyloom::simstub {

using simwire::Call;
using simwire::Reader;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kEarthRadiusNm = 60.0 * 180.0 / kPi; // 60 nautical miles per degree of arc
constexpr double kMetresPerNm = 1852.0;
constexpr std::size_t kCallLogLimit = 20000;
constexpr std::uint32_t kUserObjectId = 1;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return s;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

double distanceNm(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * kDegToRad, p2 = lat2 * kDegToRad;
    const double dp = p2 - p1, dl = (lon2 - lon1) * kDegToRad;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * kEarthRadiusNm * std::asin(std::min(1.0, std::sqrt(a)));
}

// The datum names the stand-in knows, lower case.
const std::set<std::string>& knownDatums() {
    static const std::set<std::string> names{"plane latitude",
                                             "plane longitude",
                                             "plane pitch degrees",
                                             "plane bank degrees",
                                             "plane heading degrees true",
                                             "plane altitude",
                                             "plane alt above ground",
                                             "ground altitude",
                                             "vertical speed",
                                             "airspeed true",
                                             "ground velocity",
                                             "sim on ground",
                                             "title",
                                             "atc model",
                                             "atc id",
                                             "zulu time",
                                             "zulu day of year",
                                             "zulu year",
                                             "light states",
                                             "light on states",
                                             "static cg to ground",
                                             "static pitch",
                                             "spoilers handle position",
                                             "general eng throttle lever position:1",
                                             "general eng throttle lever position:2"};
    return names;
}

// The units the stand-in delivers its data in, lower case ("" when the datum has none).
const std::set<std::string>& knownUnits() {
    static const std::set<std::string> names{
        "",     "none", "bool",  "boolean",         "degree", "degrees", "radian", "radians", "feet",
        "foot", "knot", "knots", "feet per second", "second", "seconds", "number", "mask",    "percent"};
    return names;
}

// The system events the stand-in delivers, lower case.
const std::set<std::string>& knownSystemEvents() {
    static const std::set<std::string> names{"sim", "objectadded", "objectremoved", "frame", "flightloaded"};
    return names;
}

// The simulator events the stand-in carries out on an aircraft.
const std::set<std::string>& knownSimEvents() {
    static const std::set<std::string> names{
        "NAV_LIGHTS_SET",      "BEACON_LIGHTS_SET",    "LANDING_LIGHTS_SET",
        "TAXI_LIGHTS_SET",     "STROBES_SET",          "LOGO_LIGHTS_SET",
        "CABIN_LIGHTS_SET",    "ALL_LIGHTS_TOGGLE",    "GEAR_SET",
        "FLAPS_SET",           "SPOILERS_SET",         "THROTTLE_SET",
        "ENGINE_AUTO_START",   "ENGINE_AUTO_SHUTDOWN", "FREEZE_LATITUDE_LONGITUDE_SET",
        "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"};
    return names;
}

// Value of an angle stored in radians, in the datum's unit.
double angleOut(double radians, const std::string& units) {
    return units.find("degree") != std::string::npos ? radians / kDegToRad : radians;
}
double angleIn(double value, const std::string& units) {
    return units.find("degree") != std::string::npos ? value * kDegToRad : value;
}
// Latitude and longitude are kept in degrees.
double latLonOut(double degrees, const std::string& units) {
    return units.find("radian") != std::string::npos ? degrees * kDegToRad : degrees;
}
double latLonIn(double value, const std::string& units) {
    return units.find("radian") != std::string::npos ? value / kDegToRad : value;
}

} // namespace

struct SimStub::Datum {
    std::string name;  // lower case
    std::string units; // lower case
    std::uint32_t type = 0;
};

struct SimStub::Target {
    UserAircraft* user = nullptr;
    AiObject* ai = nullptr;
    std::uint32_t id() const { return ai != nullptr ? ai->id : kUserObjectId; }
};

struct SimStub::Client {
    int fd = -1;
    int id = 0;
    std::string in;
    std::string out;
    bool dead = false;
    bool closeAfterFlush = false;
    bool dropRequested = false;
    std::string name;
    std::map<std::uint32_t, std::vector<Datum>> defs;
    std::map<std::uint32_t, std::string> clientEvents; // client id -> simulator event name (upper case)
    std::map<std::string, std::uint32_t> systemEvents; // system event (lower case) -> client id
    struct Periodic {
        std::uint32_t requestId;
        std::uint32_t defineId;
        std::uint32_t objectId;
        std::uint32_t period;
    };
    std::map<std::uint32_t, Periodic> periodic; // by request id
};

// ---- titles -----------------------------------------------------------------------------------------------

std::set<std::string> readTitlesFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read titles file {}", file.string()));
    std::set<std::string> titles;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (!line.empty() && line[0] != '#') titles.insert(line);
    }
    return titles;
}

std::set<std::string> scanCommunityTitles(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::set<std::string> titles;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) throw std::runtime_error(fmt::format("cannot read folder {}: {}", folder.string(), ec.message()));
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (!it->is_regular_file(ec) || lower(it->path().filename().string()) != "aircraft.cfg") continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::string line;
        // A remark starts at ';' or "//", except inside a quoted value.
        auto withoutRemark = [](std::string text) {
            for (const char* remark : {";", "//"}) {
                const auto at = text.find(remark);
                if (at != std::string::npos) text.erase(at);
            }
            return trim(text);
        };
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos || lower(trim(line.substr(0, eq))) != "title") continue;
            std::string value = trim(line.substr(eq + 1));
            if (!value.empty() && value.front() == '"') {
                const auto close = value.find('"', 1);
                value =
                    close == std::string::npos ? withoutRemark(value.substr(1)) : value.substr(1, close - 1);
            } else {
                value = withoutRemark(value);
            }
            if (!value.empty()) titles.insert(value);
        }
    }
    return titles;
}

// ---- life cycle -------------------------------------------------------------------------------------------

SimStub::SimStub(Options options) : options_(std::move(options)) {}

SimStub::~SimStub() {
    stop();
}

void SimStub::start() {
    if (thread_.joinable()) return;
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) throw std::runtime_error(fmt::format("socket failed: {}", std::strerror(errno)));
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (inet_pton(AF_INET, options_.bindAddress.c_str(), &addr.sin_addr) != 1) {
        close(listenFd_);
        throw std::runtime_error(fmt::format("bad bind address {}", options_.bindAddress));
    }
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, SOMAXCONN) != 0) {
        const std::string why = std::strerror(errno);
        close(listenFd_);
        listenFd_ = -1;
        throw std::runtime_error(fmt::format("Bind failed at port {} with error {}", options_.port, why));
    }
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(listenFd_);
        throw std::runtime_error("pipe failed");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void SimStub::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    for (auto& c : clients_)
        close(c->fd);
    clients_.clear();
    close(listenFd_);
    close(wakeRead_);
    close(wakeWrite_);
    listenFd_ = wakeRead_ = wakeWrite_ = -1;
}

std::string SimStub::address() const {
    return fmt::format("127.0.0.1:{}", port_);
}

void SimStub::wake() const {
    if (wakeWrite_ < 0) return;
    const char b = 1;
    [[maybe_unused]] const auto n = write(wakeWrite_, &b, 1);
}

void SimStub::changed() {
    ++version_;
    changedCv_.notify_all();
}

// ---- server thread ----------------------------------------------------------------------------------------

void SimStub::run() {
    using clock = std::chrono::steady_clock;
    auto last = clock::now();
    auto lastStateWrite = last;
    std::vector<pollfd> fds;
    std::vector<Client*> polled;
    {
        std::lock_guard lock(mutex_);
        serverThread_ = std::this_thread::get_id();
    }
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            fds.clear();
            polled.clear();
            fds.push_back({listenFd_, POLLIN, 0});
            fds.push_back({wakeRead_, POLLIN, 0});
            for (auto& c : clients_) {
                fds.push_back({c->fd, static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
                polled.push_back(c.get());
            }
            if (options_.realTime) {
                const double frameMs = options_.fps > 0 ? 1000.0 / options_.fps : 100.0;
                timeoutMs = std::clamp(static_cast<int>(frameMs / 2), 1, 100);
            }
        }
        poll(fds.data(), fds.size(), timeoutMs);

        std::unique_lock lock(mutex_);
        if (stopping_) return;
        std::string stateText;
        if (fds[1].revents != 0) {
            char buf[256];
            while (read(wakeRead_, buf, sizeof buf) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) acceptClients();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            Client& c = *polled[i];
            if (c.dead || c.dropRequested) continue;
            if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) readClient(c);
        }
        if (options_.realTime) {
            const auto now = clock::now();
            advanceLocked(now - last, true);
            last = now;
            if (!options_.stateFile.empty() && now - lastStateWrite >= std::chrono::seconds(1)) {
                lastStateWrite = now;
                stateText = stateJsonLocked().dump(2) + "\n";
            }
        }
        // Write what is queued, then retire finished connections.
        for (auto& c : clients_) {
            while (!c->dead && !c->out.empty()) {
                const ssize_t n = ::send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    c->out.erase(0, static_cast<std::size_t>(n));
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) c->dead = true;
                    break;
                }
            }
        }
        for (std::size_t i = 0; i < clients_.size();) {
            Client& c = *clients_[i];
            if (c.dead || c.dropRequested || (c.closeAfterFlush && c.out.empty())) {
                closeClient(c); // erases clients_[i]
            } else {
                ++i;
            }
        }
        if (!stateText.empty()) {
            lock.unlock(); // the disk does not hold up the clients
            try {
                writeAtomically(options_.stateFile, stateText);
            } catch (const std::exception& e) {
                fmt::print(stderr, "skyloom-simstub: {}\n", e.what());
            }
        }
    }
}

void SimStub::acceptClients() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        c->id = nextClientId_++;
        clients_.push_back(std::move(c));
        changed();
    }
}

void SimStub::readClient(Client& c) {
    char buf[64 * 1024];
    bool ended = false; // end of stream or a reset: the connection closes once the frames read are handled
    for (;;) {
        const ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            c.in.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) ended = true;
        break;
    }
    std::size_t pos = 0;
    try {
        while (!c.dead && c.in.size() - pos >= simwire::kHeadSize) {
            const auto head = simwire::readHead(c.in.data() + pos);
            if (c.in.size() - pos - simwire::kHeadSize < head.bodyLength) break;
            handleFrame(c, head.kind, head.packetId, c.in.data() + pos + simwire::kHeadSize, head.bodyLength);
            pos += simwire::kHeadSize + head.bodyLength;
        }
    } catch (const simwire::WireError& e) {
        fmt::print(stderr, "skyloom-simstub: client {}: {}\n", c.id, e.what());
        c.dead = true;
    }
    c.in.erase(0, pos);
    if (ended) c.dead = true;
    changed();
}

void SimStub::closeClient(Client& c) {
    close(c.fd);
    c.dead = true;
    const int owner = c.id;
    // AI objects go with the client that created them.
    std::vector<std::uint32_t> owned;
    for (const auto& [id, o] : objects_)
        if (o.owner == owner) owned.push_back(id);
    for (auto id : owned)
        finishRemovalLocked(id);
    std::erase_if(clients_, [&](const std::unique_ptr<Client>& p) { return p.get() == &c; });
    changed();
}

// ---- sending ----------------------------------------------------------------------------------------------

void SimStub::sendTo(Client& c, const SIMCONNECT_RECV& message) {
    if (c.dead || c.dropRequested || c.closeAfterFlush) return;
    simwire::encodeMessage(c.out, message);
    if (std::this_thread::get_id() != serverThread_) wake();
}

void SimStub::sendException(Client& c, std::uint32_t code, std::uint32_t packetId, std::uint32_t index) {
    SIMCONNECT_RECV_EXCEPTION m{};
    m.id = SIMCONNECT_RECV_ID_EXCEPTION;
    m.exception = code;
    m.sendId = packetId;
    m.index = index;
    sendTo(c, m);
}

void SimStub::sendSystemEvent(const std::string& name, std::uint32_t data) {
    for (auto& c : clients_) {
        const auto it = c->systemEvents.find(name);
        if (it == c->systemEvents.end()) continue;
        SIMCONNECT_RECV_EVENT m{};
        m.id = SIMCONNECT_RECV_ID_EVENT;
        m.eventId = it->second;
        m.data = data;
        sendTo(*c, m);
    }
}

void SimStub::sendAddRemove(const std::string& name, std::uint32_t objectId) {
    for (auto& c : clients_) {
        const auto it = c->systemEvents.find(name);
        if (it == c->systemEvents.end()) continue;
        SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE m{};
        m.id = SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE;
        m.eventId = it->second;
        m.data = objectId;
        m.objectId = objectId;
        m.objectType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
        sendTo(*c, m);
    }
}

namespace {

struct Value {
    double number = 0;
    std::string text;
};

} // namespace

void SimStub::sendData(Client& c, std::uint32_t requestId, std::uint32_t defineId, const Target& t,
                       std::uint32_t recvId, std::uint32_t entry, std::uint32_t outOf) {
    const auto def = c.defs.find(defineId);
    if (def == c.defs.end()) return;
    std::string block;
    for (const Datum& d : def->second) {
        Value v;
        const UserAircraft* u = t.user;
        const AiObject* a = t.ai;
        const double lat = a ? a->latitude : u->latitude;
        const double lon = a ? a->longitude : u->longitude;
        const double alt = a ? a->altitudeFt : u->altitudeFt;
        const double ground = groundAtLocked(lat, lon);
        const ModelCg cg = cgOf(a ? a->title : u->title);
        const std::string& n = d.name;
        if (n == "plane latitude")
            v.number = latLonOut(lat, d.units);
        else if (n == "plane longitude")
            v.number = latLonOut(lon, d.units);
        else if (n == "plane pitch degrees")
            v.number = angleOut(a ? a->pitchRad : u->pitchDeg * kDegToRad, d.units);
        else if (n == "plane bank degrees")
            v.number = angleOut(a ? a->bankRad : u->bankDeg * kDegToRad, d.units);
        else if (n == "plane heading degrees true")
            v.number = angleOut(a ? a->headingRad : u->headingDeg * kDegToRad, d.units);
        else if (n == "plane altitude")
            v.number = alt;
        else if (n == "plane alt above ground")
            v.number = alt - ground;
        else if (n == "ground altitude")
            v.number = ground;
        else if (n == "vertical speed")
            v.number = a ? a->verticalSpeedFps : 0.0;
        else if (n == "airspeed true")
            v.number = a ? a->trueAirspeedKt : u->groundSpeedKt;
        else if (n == "ground velocity")
            v.number = a ? a->trueAirspeedKt : u->groundSpeedKt;
        else if (n == "sim on ground")
            v.number = (a ? a->onGround : u->onGround) ? 1 : 0;
        else if (n == "title")
            v.text = a ? a->title : u->title;
        else if (n == "atc model")
            v.text = a ? std::string() : u->atcModel;
        else if (n == "atc id")
            v.text = (a ? a->tail : u->atcId).substr(0, 31);
        else if (n == "zulu time")
            v.number = static_cast<double>(options_.user.zuluTime);
        else if (n == "zulu day of year")
            v.number = static_cast<double>(options_.user.dayOfYear);
        else if (n == "zulu year")
            v.number = static_cast<double>(options_.user.year);
        else if (n == "light states" || n == "light on states")
            v.number = a ? a->lights : u->lightStates;
        else if (n == "static cg to ground")
            v.number = cg.cgHeightFt;
        else if (n == "static pitch")
            v.number = angleOut(cg.staticPitchRad, d.units);
        else if (n == "spoilers handle position")
            v.number = a ? a->spoilersHandlePct : 0.0;
        else if (n == "general eng throttle lever position:1")
            v.number = a ? a->throttleLever1Pct : 0.0;
        else if (n == "general eng throttle lever position:2")
            v.number = a ? a->throttleLever2Pct : 0.0;

        char raw[8];
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: {
            std::memcpy(raw, &v.number, 8);
            block.append(raw, 8);
            break;
        }
        case SIMCONNECT_DATATYPE_FLOAT32: {
            const auto f = static_cast<float>(v.number);
            std::memcpy(raw, &f, 4);
            block.append(raw, 4);
            break;
        }
        case SIMCONNECT_DATATYPE_INT64: {
            const auto i = static_cast<std::int64_t>(std::llround(v.number));
            std::memcpy(raw, &i, 8);
            block.append(raw, 8);
            break;
        }
        case SIMCONNECT_DATATYPE_INT32: {
            const auto i = static_cast<std::int32_t>(std::lround(v.number));
            std::memcpy(raw, &i, 4);
            block.append(raw, 4);
            break;
        }
        case SIMCONNECT_DATATYPE_STRING32: {
            std::string s = v.text.substr(0, 31);
            s.resize(32, '\0');
            block += s;
            break;
        }
        case SIMCONNECT_DATATYPE_STRINGV: {
            block += v.text;
            block.push_back('\0');
            break;
        }
        default:
            break;
        }
    }
    std::vector<std::uint64_t> storage((sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + block.size() + 7) / 8);
    auto* m = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage.data());
    m->id = recvId;
    m->requestId = requestId;
    m->objectId = t.id();
    m->defineId = defineId;
    m->entryNumber = entry;
    m->outOf = outOf;
    m->dataSize = static_cast<std::uint32_t>(block.size());
    std::memcpy(reinterpret_cast<char*>(m + 1), block.data(), block.size());
    sendTo(c, *m);
}

// ---- calls ------------------------------------------------------------------------------------------------

void SimStub::handleFrame(Client& c, std::uint32_t kind, std::uint32_t packetId, const char* body,
                          std::size_t size) {
    const std::string name(simwire::callName(kind));
    if (name.empty()) {
        sendException(c, SIMCONNECT_EXCEPTION_ERROR, packetId, 0);
        return;
    }
    ++callCounts_[name];
    const auto fault = faults_.find(name);
    if (fault != faults_.end() && kind != static_cast<std::uint32_t>(Call::Open) &&
        kind != static_cast<std::uint32_t>(Call::Close)) {
        calls_.push_back(name + " (refused)");
        if (calls_.size() > kCallLogLimit) calls_.pop_front();
        sendException(c, fault->second.first, packetId, 0);
        if (--fault->second.second == 0) faults_.erase(fault);
        return;
    }
    try {
        handleCall(c, kind, packetId, body, size);
    } catch (const simwire::WireError&) {
        sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 0);
    }
}

std::optional<SimStub::Target> SimStub::resolve(std::uint32_t objectId) {
    if (objectId == SIMCONNECT_OBJECT_ID_USER || objectId == kUserObjectId)
        return Target{&options_.user, nullptr};
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) return std::nullopt;
    return Target{nullptr, &it->second};
}

void SimStub::handleCall(Client& c, std::uint32_t kind, std::uint32_t packetId, const char* body,
                         std::size_t size) {
    Reader r(body, size);
    auto log = [&](const std::string& line) {
        calls_.push_back(line);
        if (calls_.size() > kCallLogLimit) calls_.pop_front();
    };
    switch (static_cast<Call>(kind)) {
    case Call::Open: {
        c.name = r.text();
        const std::uint32_t protocol = r.u32();
        log(fmt::format("Open {}", c.name));
        if (protocol != simwire::kProtocolVersion) {
            sendException(c, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, packetId, protocol);
            return;
        }
        SIMCONNECT_RECV_OPEN m{};
        m.id = SIMCONNECT_RECV_ID_OPEN;
        const std::string app = options_.simVersion == 2024 ? "SunRise" : "KittyHawk";
        std::snprintf(m.applicationName, sizeof m.applicationName, "%s", app.c_str());
        m.applicationVersionMajor = options_.simVersion == 2024 ? 12 : 11;
        m.applicationVersionMinor = 0;
        m.applicationBuildMajor = 1;
        m.applicationBuildMinor = 0;
        m.protocolVersion = simwire::kProtocolVersion;
        sendTo(c, m);
        return;
    }
    case Call::Close:
        log("Close");
        c.closeAfterFlush = true;
        return;
    case Call::SubscribeToSystemEvent: {
        const std::uint32_t eventId = r.u32();
        const std::string name = r.text();
        log(fmt::format("SubscribeToSystemEvent {} {}", eventId, name));
        if (!knownSystemEvents().contains(lower(name))) {
            sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
            return;
        }
        c.systemEvents[lower(name)] = eventId;
        if (lower(name) == "sim") {
            SIMCONNECT_RECV_EVENT m{};
            m.id = SIMCONNECT_RECV_ID_EVENT;
            m.eventId = eventId;
            m.data = paused_ ? 0 : 1;
            sendTo(c, m);
        }
        return;
    }
    case Call::AddToDataDefinition: {
        const std::uint32_t defineId = r.u32();
        Datum d;
        const std::string rawName = r.text();
        const std::string rawUnits = r.text();
        d.name = lower(rawName);
        d.units = lower(rawUnits);
        d.type = r.u32();
        r.f32();
        r.u32();
        log(fmt::format("AddToDataDefinition {} {} {} {}", defineId, rawName, rawUnits, d.type));
        if (!knownDatums().contains(d.name)) {
            sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
            return;
        }
        if (!knownUnits().contains(d.units)) {
            sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 3);
            return;
        }
        const bool text = d.name == "title" || d.name == "atc model" || d.name == "atc id";
        const bool textType = d.type == SIMCONNECT_DATATYPE_STRING32 || d.type == SIMCONNECT_DATATYPE_STRINGV;
        if (text != textType || (!textType && SimConnect_DatumSize(d.type) == 0)) {
            sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 4);
            return;
        }
        c.defs[defineId].push_back(d);
        return;
    }
    case Call::MapClientEventToSimEvent: {
        const std::uint32_t eventId = r.u32();
        const std::string name = r.text();
        log(fmt::format("MapClientEventToSimEvent {} {}", eventId, name));
        // A name with a dot is a private event of the client's own, an empty one an event without a
        // simulator event behind it; both are taken and do nothing.
        if (!name.empty() && name.find('.') == std::string::npos && !knownSimEvents().contains(upper(name))) {
            sendException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packetId, 2);
            return;
        }
        c.clientEvents[eventId] = upper(name);
        return;
    }
    case Call::AddClientEventToNotificationGroup: {
        const std::uint32_t group = r.u32();
        const std::uint32_t eventId = r.u32();
        const std::uint32_t maskable = r.u32();
        log(fmt::format("AddClientEventToNotificationGroup {} {} {}", group, eventId, maskable));
        if (!c.clientEvents.contains(eventId))
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
        return;
    }
    case Call::SetNotificationGroupPriority: {
        const std::uint32_t group = r.u32();
        const std::uint32_t priority = r.u32();
        log(fmt::format("SetNotificationGroupPriority {} {}", group, priority));
        return;
    }
    case Call::RequestDataOnSimObject: {
        Client::Periodic p{};
        p.requestId = r.u32();
        p.defineId = r.u32();
        p.objectId = r.u32();
        p.period = r.u32();
        log(fmt::format("RequestDataOnSimObject {} {} {} {}", p.requestId, p.defineId, p.objectId, p.period));
        if (!c.defs.contains(p.defineId)) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
            return;
        }
        const auto target = resolve(p.objectId);
        if (!target) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 3);
            return;
        }
        c.periodic.erase(p.requestId);
        if (p.period == SIMCONNECT_PERIOD_NEVER) return;
        sendData(c, p.requestId, p.defineId, *target, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1);
        if (p.period != SIMCONNECT_PERIOD_ONCE) c.periodic[p.requestId] = p;
        return;
    }
    case Call::RequestDataOnSimObjectType: {
        const std::uint32_t requestId = r.u32();
        const std::uint32_t defineId = r.u32();
        const std::uint32_t radius = r.u32();
        const std::uint32_t type = r.u32();
        log(fmt::format("RequestDataOnSimObjectType {} {} {} {}", requestId, defineId, radius, type));
        if (!c.defs.contains(defineId)) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
            return;
        }
        // The user flies an aeroplane: it answers for itself, for aircraft and for all objects.
        const bool aircraft =
            type == SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT || type == SIMCONNECT_SIMOBJECT_TYPE_ALL;
        std::vector<Target> found;
        if (aircraft || type == SIMCONNECT_SIMOBJECT_TYPE_USER)
            found.push_back(Target{&options_.user, nullptr});
        if (aircraft) {
            const double radiusNm = radius / kMetresPerNm;
            for (auto& [id, o] : objects_) {
                if (distanceNm(options_.user.latitude, options_.user.longitude, o.latitude, o.longitude) <=
                    radiusNm)
                    found.push_back(Target{nullptr, &o});
            }
        }
        const auto outOf = static_cast<std::uint32_t>(found.size());
        for (std::uint32_t i = 0; i < outOf; ++i)
            sendData(c, requestId, defineId, found[i], SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, i + 1,
                     outOf);
        return;
    }
    case Call::SetDataOnSimObject: {
        const std::uint32_t defineId = r.u32();
        const std::uint32_t objectId = r.u32();
        r.u32(); // flags
        r.u32(); // array count
        const std::string data = r.block();
        const auto def = c.defs.find(defineId);
        if (def == c.defs.end()) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
            return;
        }
        const auto target = resolve(objectId);
        if (!target) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
            return;
        }
        // Decode the whole block first: a block of the wrong size changes nothing.
        std::vector<Value> values;
        std::size_t pos = 0;
        bool ok = true;
        for (const Datum& d : def->second) {
            Value v;
            if (d.type == SIMCONNECT_DATATYPE_STRINGV) {
                const auto nul = data.find('\0', pos);
                if (nul == std::string::npos) {
                    ok = false;
                    break;
                }
                v.text = data.substr(pos, nul - pos);
                pos = nul + 1;
            } else {
                const std::size_t n = SimConnect_DatumSize(d.type);
                if (data.size() - pos < n) {
                    ok = false;
                    break;
                }
                const char* p = data.data() + pos;
                if (d.type == SIMCONNECT_DATATYPE_FLOAT64) {
                    std::memcpy(&v.number, p, 8);
                } else if (d.type == SIMCONNECT_DATATYPE_FLOAT32) {
                    float f;
                    std::memcpy(&f, p, 4);
                    v.number = f;
                } else if (d.type == SIMCONNECT_DATATYPE_INT64) {
                    std::int64_t i;
                    std::memcpy(&i, p, 8);
                    v.number = static_cast<double>(i);
                } else if (d.type == SIMCONNECT_DATATYPE_INT32) {
                    std::int32_t i;
                    std::memcpy(&i, p, 4);
                    v.number = i;
                } else {
                    v.text = std::string(p, strnlen(p, n));
                }
                pos += n;
            }
            values.push_back(std::move(v));
        }
        if (!ok || pos != data.size()) {
            sendException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, packetId, 6);
            return;
        }
        bool position = false;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Datum& d = def->second[i];
            const double x = values[i].number;
            if (AiObject* a = target->ai) {
                if (d.name == "plane latitude")
                    a->latitude = latLonIn(x, d.units), position = true;
                else if (d.name == "plane longitude")
                    a->longitude = latLonIn(x, d.units), position = true;
                else if (d.name == "plane pitch degrees")
                    a->pitchRad = angleIn(x, d.units);
                else if (d.name == "plane bank degrees")
                    a->bankRad = angleIn(x, d.units);
                else if (d.name == "plane heading degrees true")
                    a->headingRad = angleIn(x, d.units);
                else if (d.name == "plane altitude")
                    a->altitudeFt = x, position = true;
                else if (d.name == "vertical speed")
                    a->verticalSpeedFps = x;
                else if (d.name == "airspeed true")
                    a->trueAirspeedKt = x;
                else if (d.name == "spoilers handle position")
                    a->spoilersHandlePct = x;
                else if (d.name == "general eng throttle lever position:1")
                    a->throttleLever1Pct = x;
                else if (d.name == "general eng throttle lever position:2")
                    a->throttleLever2Pct = x;
            } else {
                UserAircraft& u = *target->user;
                if (d.name == "plane latitude")
                    u.latitude = latLonIn(x, d.units);
                else if (d.name == "plane longitude")
                    u.longitude = latLonIn(x, d.units);
                else if (d.name == "plane altitude")
                    u.altitudeFt = x;
                else if (d.name == "plane heading degrees true")
                    u.headingDeg = angleIn(x, d.units) / kDegToRad;
                else if (d.name == "plane pitch degrees")
                    u.pitchDeg = angleIn(x, d.units) / kDegToRad;
                else if (d.name == "plane bank degrees")
                    u.bankDeg = angleIn(x, d.units) / kDegToRad;
                else if (d.name == "ground velocity")
                    u.groundSpeedKt = x;
            }
        }
        if (AiObject* a = target->ai; a != nullptr) {
            ++a->positionUpdates;
            if (position)
                a->onGround = a->altitudeFt - groundAtLocked(a->latitude, a->longitude) <=
                              cgOf(a->title).cgHeightFt + 1.0;
        }
        return;
    }
    case Call::TransmitClientEvent: {
        const std::uint32_t objectId = r.u32();
        const std::uint32_t eventId = r.u32();
        const std::uint32_t data = r.u32();
        const std::uint32_t group = r.u32();
        r.u32(); // flags
        const auto mapped = c.clientEvents.find(eventId);
        log(fmt::format("TransmitClientEvent {} {} {} {}", objectId,
                        mapped != c.clientEvents.end() ? mapped->second : std::to_string(eventId), data,
                        group));
        if (mapped == c.clientEvents.end()) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 2);
            return;
        }
        const auto target = resolve(objectId);
        if (!target) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
            return;
        }
        const std::string& ev = mapped->second;
        std::uint32_t& lights = target->ai ? target->ai->lights : target->user->lightStates;
        static const std::map<std::string, std::uint32_t> lightEvents{
            {"NAV_LIGHTS_SET", kLightNav},         {"BEACON_LIGHTS_SET", kLightBeacon},
            {"LANDING_LIGHTS_SET", kLightLanding}, {"TAXI_LIGHTS_SET", kLightTaxi},
            {"STROBES_SET", kLightStrobe},         {"LOGO_LIGHTS_SET", kLightLogo},
            {"CABIN_LIGHTS_SET", kLightCabin}};
        if (const auto l = lightEvents.find(ev); l != lightEvents.end()) {
            lights = data != 0 ? (lights | l->second) : (lights & ~l->second);
        } else if (ev == "ALL_LIGHTS_TOGGLE") {
            lights ^= kLightAll;
        } else if (AiObject* a = target->ai) {
            if (ev == "GEAR_SET")
                a->gear = data;
            else if (ev == "FLAPS_SET")
                a->flaps = data;
            else if (ev == "SPOILERS_SET")
                a->spoilers = data;
            else if (ev == "THROTTLE_SET")
                a->throttle = data;
            else if (ev == "ENGINE_AUTO_START")
                a->enginesRunning = true;
            else if (ev == "ENGINE_AUTO_SHUTDOWN")
                a->enginesRunning = false;
            else if (ev == "FREEZE_LATITUDE_LONGITUDE_SET")
                a->freezeLatLon = data != 0;
            else if (ev == "FREEZE_ALTITUDE_SET")
                a->freezeAltitude = data != 0;
            else if (ev == "FREEZE_ATTITUDE_SET")
                a->freezeAttitude = data != 0;
        }
        return;
    }
    case Call::AICreateNonATCAircraft: {
        AiObject o;
        o.title = r.text();
        o.tail = r.text();
        o.latitude = r.f64();
        o.longitude = r.f64();
        o.altitudeFt = r.f64();
        o.pitchRad = r.f64() * kDegToRad;
        o.bankRad = r.f64() * kDegToRad;
        o.headingRad = r.f64() * kDegToRad;
        o.onGround = r.u32() != 0;
        o.trueAirspeedKt = r.u32();
        const std::uint32_t requestId = r.u32();
        log(fmt::format("AICreateNonATCAircraft {} {} {}", o.title, o.tail, requestId));
        // No aircraft goes by an empty title, even where every title counts as installed.
        if (o.title.empty() || (options_.installedTitles && !options_.installedTitles->contains(o.title))) {
            ++counts_.refusals;
            sendException(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, packetId, 1);
            return;
        }
        if (objects_.size() >= options_.maxObjects) {
            ++counts_.refusals;
            sendException(c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, packetId, 0);
            return;
        }
        o.id = nextObjectId_++;
        o.owner = c.id;
        o.createdAt = simSeconds();
        if (o.onGround) o.altitudeFt = groundAtLocked(o.latitude, o.longitude) + cgOf(o.title).cgHeightFt;
        const std::uint32_t id = o.id;
        objects_.emplace(id, std::move(o));
        ++counts_.creations;
        SIMCONNECT_RECV_ASSIGNED_OBJECT_ID m{};
        m.id = SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID;
        m.requestId = requestId;
        m.objectId = id;
        sendTo(c, m);
        sendAddRemove("objectadded", id);
        return;
    }
    case Call::AIRemoveObject:
    case Call::AIReleaseControl: {
        const std::uint32_t objectId = r.u32();
        const std::uint32_t requestId = r.u32();
        const bool remove = kind == static_cast<std::uint32_t>(Call::AIRemoveObject);
        log(fmt::format("{} {} {}", remove ? "AIRemoveObject" : "AIReleaseControl", objectId, requestId));
        const auto it = objects_.find(objectId);
        if (it == objects_.end()) {
            const bool user = objectId == SIMCONNECT_OBJECT_ID_USER || objectId == kUserObjectId;
            sendException(c,
                          user ? SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE
                               : SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID,
                          packetId, 1);
            return;
        }
        if (!remove) {
            ++it->second.releaseCount;
            return;
        }
        if (it->second.removalAskedAt) return; // already on its way out
        it->second.removalAskedAt = simSeconds();
        if (options_.removalDelay.count() <= 0) finishRemovalLocked(objectId);
        return;
    }
    case Call::AISetAircraftFlightPlan: {
        const std::uint32_t objectId = r.u32();
        const std::string path = r.text();
        const std::uint32_t requestId = r.u32();
        log(fmt::format("AISetAircraftFlightPlan {} {} {}", objectId, path, requestId));
        const auto it = objects_.find(objectId);
        if (it == objects_.end()) {
            sendException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packetId, 1);
            return;
        }
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in || text.find("<FlightPlan.FlightPlan>") == std::string::npos) {
            sendException(c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, packetId, 2);
            return;
        }
        it->second.flightPlan = path;
        return;
    }
    }
}

void SimStub::finishRemovalLocked(std::uint32_t id) {
    if (objects_.erase(id) == 0) return;
    ++counts_.removals;
    sendAddRemove("objectremoved", id);
    changed();
}

// ---- clock ------------------------------------------------------------------------------------------------

void SimStub::advanceLocked(std::chrono::nanoseconds dt, bool capFrames) {
    if (dt.count() <= 0) return;
    simTime_ += dt;
    if (options_.fps > 0) {
        frameCredit_ += std::chrono::duration<double>(dt).count() * options_.fps;
        if (capFrames && frameCredit_ > 5) frameCredit_ = 1; // a stalled clock does not burst frames
        while (frameCredit_ >= 1.0) {
            frameCredit_ -= 1.0;
            frameLocked();
        }
    }
    secondCredit_ += dt;
    if (capFrames && secondCredit_ > std::chrono::seconds(3)) secondCredit_ = std::chrono::seconds(1);
    while (secondCredit_ >= std::chrono::seconds(1)) {
        secondCredit_ -= std::chrono::seconds(1);
        secondLocked();
    }
    const double now = simSeconds();
    const double delay = std::chrono::duration<double>(options_.removalDelay).count();
    std::vector<std::uint32_t> due;
    for (const auto& [id, o] : objects_)
        if (o.removalAskedAt && now >= *o.removalAskedAt + delay) due.push_back(id);
    for (auto id : due)
        finishRemovalLocked(id);
    changed();
}

void SimStub::frameLocked() {
    for (auto& c : clients_) {
        if (const auto it = c->systemEvents.find("frame"); it != c->systemEvents.end()) {
            SIMCONNECT_RECV_EVENT_FRAME m{};
            m.id = SIMCONNECT_RECV_ID_EVENT_FRAME;
            m.eventId = it->second;
            m.frameRate = static_cast<float>(options_.fps);
            m.simSpeed = 1.0f;
            sendTo(*c, m);
        }
        for (const auto& [rid, p] : c->periodic) {
            if (p.period != SIMCONNECT_PERIOD_VISUAL_FRAME && p.period != SIMCONNECT_PERIOD_SIM_FRAME)
                continue;
            if (const auto t = resolve(p.objectId))
                sendData(*c, p.requestId, p.defineId, *t, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1);
        }
    }
}

void SimStub::secondLocked() {
    UserAircraft& u = options_.user;
    if (!paused_) {
        if (++u.zuluTime >= 86400) {
            u.zuluTime = 0;
            const bool leap = (u.year % 4 == 0 && u.year % 100 != 0) || u.year % 400 == 0;
            if (++u.dayOfYear > (leap ? 366 : 365)) {
                u.dayOfYear = 1;
                ++u.year;
            }
        }
    }
    for (auto& c : clients_) {
        for (const auto& [rid, p] : c->periodic) {
            if (p.period != SIMCONNECT_PERIOD_SECOND) continue;
            if (const auto t = resolve(p.objectId))
                sendData(*c, p.requestId, p.defineId, *t, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 1, 1);
        }
    }
}

void SimStub::advance(std::chrono::milliseconds dt) {
    std::lock_guard lock(mutex_);
    advanceLocked(dt, false);
}

void SimStub::sendFrame() {
    std::lock_guard lock(mutex_);
    frameLocked();
    changed();
}

double SimStub::simSeconds() const {
    return std::chrono::duration<double>(simTime_).count();
}

// ---- world control ----------------------------------------------------------------------------------------

void SimStub::setUser(const UserAircraft& user) {
    std::lock_guard lock(mutex_);
    options_.user = user;
    changed();
}

UserAircraft SimStub::user() const {
    std::lock_guard lock(mutex_);
    return options_.user;
}

void SimStub::teleportUser(double latitude, double longitude, double altitudeFt) {
    std::lock_guard lock(mutex_);
    options_.user.latitude = latitude;
    options_.user.longitude = longitude;
    options_.user.altitudeFt = altitudeFt;
    changed();
}

void SimStub::setPaused(bool paused) {
    std::lock_guard lock(mutex_);
    if (paused_ == paused) return;
    paused_ = paused;
    sendSystemEvent("sim", paused ? 0 : 1);
    changed();
}

bool SimStub::paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void SimStub::flightLoaded() {
    std::lock_guard lock(mutex_);
    sendSystemEvent("flightloaded", 0);
    changed();
}

void SimStub::newFlightFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto& c : clients_) {
        const auto it = c->systemEvents.find("flightloaded");
        if (it == c->systemEvents.end()) continue;
        SIMCONNECT_RECV_EVENT_FILENAME m{};
        m.id = SIMCONNECT_RECV_ID_EVENT_FILENAME;
        m.eventId = it->second;
        std::snprintf(m.fileName, sizeof m.fileName, "%s", path.c_str());
        sendTo(*c, m);
    }
    changed();
}

void SimStub::quit() {
    std::lock_guard lock(mutex_);
    for (auto& c : clients_) {
        SIMCONNECT_RECV_QUIT m{};
        m.id = SIMCONNECT_RECV_ID_QUIT;
        sendTo(*c, m);
        c->closeAfterFlush = true;
    }
    wake();
    changed();
}

void SimStub::dropConnections() {
    std::lock_guard lock(mutex_);
    for (auto& c : clients_) {
        c->dropRequested = true; // what is queued still goes out, then the socket closes
    }
    wake();
    changed();
}

void SimStub::removeObject(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    finishRemovalLocked(id);
}

void SimStub::addGroundArea(const GroundArea& area) {
    std::lock_guard lock(mutex_);
    options_.groundAreas.push_back(area);
}

void SimStub::setModelCg(const std::string& title, const ModelCg& cg) {
    std::lock_guard lock(mutex_);
    options_.modelCg[title] = cg;
}

void SimStub::setInstalledTitles(std::optional<std::set<std::string>> titles) {
    std::lock_guard lock(mutex_);
    options_.installedTitles = std::move(titles);
}

double SimStub::groundElevationAt(double latitude, double longitude) const {
    std::lock_guard lock(mutex_);
    return groundAtLocked(latitude, longitude);
}

double SimStub::groundAtLocked(double latitude, double longitude) const {
    for (const GroundArea& a : options_.groundAreas)
        if (distanceNm(latitude, longitude, a.latitude, a.longitude) <= a.radiusNm) return a.elevationFt;
    return options_.groundElevationFt;
}

ModelCg SimStub::cgOf(const std::string& title) const {
    const auto it = options_.modelCg.find(title);
    return it != options_.modelCg.end() ? it->second : options_.defaultCg;
}

void SimStub::failCall(const std::string& call, std::uint32_t code, std::uint32_t count) {
    std::lock_guard lock(mutex_);
    const std::string name(simwire::withoutPrefix(call));
    if (count == 0)
        faults_.erase(name);
    else
        faults_[name] = {code, count};
}

// ---- inspection -------------------------------------------------------------------------------------------

std::vector<AiObject> SimStub::objects() const {
    std::lock_guard lock(mutex_);
    std::vector<AiObject> list;
    for (const auto& [id, o] : objects_)
        list.push_back(o);
    return list;
}

std::optional<AiObject> SimStub::object(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(id);
    if (it == objects_.end()) return std::nullopt;
    return it->second;
}

std::optional<AiObject> SimStub::objectByTail(const std::string& tail) const {
    std::lock_guard lock(mutex_);
    for (const auto& [id, o] : objects_)
        if (o.tail == tail) return o;
    return std::nullopt;
}

Counts SimStub::counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

std::size_t SimStub::clientCount() const {
    std::lock_guard lock(mutex_);
    return clients_.size();
}

std::vector<std::string> SimStub::calls() const {
    std::lock_guard lock(mutex_);
    return {calls_.begin(), calls_.end()};
}

std::uint64_t SimStub::callCount(const std::string& call) const {
    std::lock_guard lock(mutex_);
    const auto it = callCounts_.find(std::string(simwire::withoutPrefix(call)));
    return it == callCounts_.end() ? 0 : it->second;
}

nlohmann::json SimStub::stateJson() const {
    std::lock_guard lock(mutex_);
    return stateJsonLocked();
}

nlohmann::json SimStub::stateJsonLocked() const {
    using nlohmann::json;
    const UserAircraft& u = options_.user;
    json user{{"id", kUserObjectId},
              {"title", u.title},
              {"atcModel", u.atcModel},
              {"atcId", u.atcId},
              {"latitude", u.latitude},
              {"longitude", u.longitude},
              {"altitude", u.altitudeFt},
              {"heading", u.headingDeg},
              {"groundSpeed", u.groundSpeedKt},
              {"onGround", u.onGround},
              {"zuluTime", u.zuluTime},
              {"dayOfYear", u.dayOfYear},
              {"year", u.year}};
    json list = json::array();
    for (const auto& [id, o] : objects_) {
        double heading = o.headingRad / kDegToRad;
        heading = std::fmod(heading, 360.0);
        if (heading < 0) heading += 360.0;
        list.push_back(json{
            {"id", o.id},
            {"tail", o.tail},
            {"title", o.title},
            {"latitude", o.latitude},
            {"longitude", o.longitude},
            {"altitude", o.altitudeFt},
            {"heading", heading},
            {"onGround", o.onGround},
            {"lights", json{{"nav", (o.lights & kLightNav) != 0},
                            {"beacon", (o.lights & kLightBeacon) != 0},
                            {"landing", (o.lights & kLightLanding) != 0},
                            {"taxi", (o.lights & kLightTaxi) != 0},
                            {"strobe", (o.lights & kLightStrobe) != 0},
                            {"logo", (o.lights & kLightLogo) != 0},
                            {"cabin", (o.lights & kLightCabin) != 0}}},
            {"engines", o.enginesRunning},
            {"flaps", o.flaps},
            {"gear", o.gear},
            {"spoilers", o.spoilers},
            {"spoilersHandlePercent", o.spoilersHandlePct},
            {"throttle", o.throttle},
            {"throttleLeverPercent", json::array({o.throttleLever1Pct, o.throttleLever2Pct})},
            {"frozen", json{{"latLon", o.freezeLatLon},
                            {"altitude", o.freezeAltitude},
                            {"attitude", o.freezeAttitude}}},
            {"aiReleased", o.releaseCount > 0},
            {"flightPlan", o.flightPlan},
            {"created", o.createdAt},
            {"removal", o.removalAskedAt ? json(*o.removalAskedAt) : json(nullptr)},
        });
    }
    return json{{"sim", options_.simVersion == 2024 ? "SunRise" : "KittyHawk"},
                {"simVersion", options_.simVersion},
                {"paused", paused_},
                {"simSeconds", simSeconds()},
                {"clients", clients_.size()},
                {"user", user},
                {"objects", list},
                {"counts", json{{"creations", counts_.creations},
                                {"refusals", counts_.refusals},
                                {"removals", counts_.removals}}}};
}

void SimStub::writeStateFile(const std::filesystem::path& file) const {
    writeAtomically(file, stateJson().dump(2) + "\n");
}

void SimStub::writeAtomically(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::path tmp = file;
    tmp += ".tmp";
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error(fmt::format("cannot write {}: {}", tmp.string(), std::strerror(errno)));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            throw std::runtime_error(fmt::format("cannot write {}: {}", tmp.string(), std::strerror(errno)));
        }
        done += static_cast<std::size_t>(n);
    }
    fsync(fd);
    close(fd);
    std::filesystem::rename(tmp, file);
}

bool SimStub::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(mutex_);
            seen = version_;
        }
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!changedCv_.wait_until(lock, deadline, [&] { return version_ != seen; })) {
            lock.unlock();
            return done();
        }
    }
}

} // namespace skyloom::simstub
