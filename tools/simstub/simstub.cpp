// The clock, control of the world from the outside and its inspection.
#include "tools/simstub/world.h"

#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/wire.h"

#include <cstdio>

namespace skyloom::simstub {

void SimStub::finishRemovalLocked(std::uint32_t id, RemovalCause cause) {
    if (!world_->remove(id, simSeconds(), cause)) return;
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
    for (const auto& [id, o] : world_->objects)
        if (o.removalAskedAt && now >= *o.removalAskedAt + delay) due.push_back(id);
    for (auto id : due)
        finishRemovalLocked(id, RemovalCause::Client);
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
    UserAircraft& u = world_->user;
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
    world_->user = user;
    changed();
}

UserAircraft SimStub::user() const {
    std::lock_guard lock(mutex_);
    return world_->user;
}

void SimStub::teleportUser(double latitude, double longitude, double altitudeFt) {
    std::lock_guard lock(mutex_);
    world_->user.latitude = latitude;
    world_->user.longitude = longitude;
    world_->user.altitudeFt = altitudeFt;
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
    finishRemovalLocked(id, RemovalCause::Simulator);
}

void SimStub::addGroundArea(const GroundArea& area) {
    std::lock_guard lock(mutex_);
    world_->groundAreas.push_back(area);
    changed();
}

void SimStub::setModelCg(const std::string& title, const ModelCg& cg) {
    std::lock_guard lock(mutex_);
    world_->modelCg[title] = cg;
}

void SimStub::setInstalledTitles(std::optional<std::set<std::string>> titles) {
    std::lock_guard lock(mutex_);
    world_->installedTitles = std::move(titles);
}

double SimStub::groundElevationAt(double latitude, double longitude) const {
    std::lock_guard lock(mutex_);
    return world_->groundAt(latitude, longitude);
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
    for (const auto& [id, o] : world_->objects)
        list.push_back(o);
    return list;
}

std::optional<AiObject> SimStub::object(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    const auto it = world_->objects.find(id);
    if (it == world_->objects.end()) return std::nullopt;
    return it->second;
}

std::optional<AiObject> SimStub::objectByTail(const std::string& tail) const {
    std::lock_guard lock(mutex_);
    for (const auto& [id, o] : world_->objects)
        if (o.tail == tail) return o;
    return std::nullopt;
}

std::vector<RemovedObject> SimStub::removedObjects() const {
    std::lock_guard lock(mutex_);
    return {world_->removed.begin(), world_->removed.end()};
}

std::vector<GroundArea> SimStub::groundAreas() const {
    std::lock_guard lock(mutex_);
    return world_->groundAreas;
}

Counts SimStub::counts() const {
    std::lock_guard lock(mutex_);
    return world_->counts;
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
