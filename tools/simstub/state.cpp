// The state of the world as JSON, for tests and for the state file a run leaves behind.
#include "tools/simstub/world.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace skyloom::simstub {

using protocol::kDegToRad;

namespace {

const char* causeName(RemovalCause cause) {
    switch (cause) {
    case RemovalCause::Client:
        return "client";
    case RemovalCause::Disconnect:
        return "disconnect";
    case RemovalCause::Simulator:
        return "simulator";
    }
    return "?";
}

nlohmann::json motionJson(const Motion& m) {
    using nlohmann::json;
    return json{{"positionBlocks", m.positionBlocks},
                {"firstBlock", m.firstBlockAt ? json(*m.firstBlockAt) : json(nullptr)},
                {"largestJumpNm", m.largestJumpNm},
                {"largestSpeedKt", m.largestSpeedKt},
                {"largestSteadySpeedKt", m.largestSteadySpeedKt},
                {"largestHeadingChange", m.largestHeadingChangeDeg}};
}

nlohmann::json eventsJson(const AiObject& o) {
    nlohmann::json list = nlohmann::json::array();
    for (const ClientEventEntry& e : o.events)
        list.push_back(nlohmann::json{{"name", e.name}, {"value", e.value}, {"time", e.simSeconds}});
    return list;
}

} // namespace

nlohmann::json SimStub::stateJson() const {
    std::lock_guard lock(mutex_);
    return stateJsonLocked();
}

nlohmann::json SimStub::stateJsonLocked() const {
    using nlohmann::json;
    const UserAircraft& u = world_->user;
    json user{{"id", protocol::kUserObjectId},
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
    for (const auto& [id, o] : world_->objects) {
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
            {"motion", motionJson(o.motion)},
            {"events", eventsJson(o)},
            {"eventsDropped", o.eventsDropped},
        });
    }
    json removed = json::array();
    for (const RemovedObject& r : world_->removed)
        removed.push_back(json{{"id", r.id},
                               {"tail", r.tail},
                               {"title", r.title},
                               {"created", r.createdAt},
                               {"removed", r.removedAt},
                               {"cause", causeName(r.cause)},
                               {"latitude", r.latitude},
                               {"longitude", r.longitude},
                               {"altitude", r.altitudeFt},
                               {"motion", motionJson(r.motion)}});
    json areas = json::array();
    for (const GroundArea& a : world_->groundAreas)
        areas.push_back(json{{"latitude", a.latitude},
                             {"longitude", a.longitude},
                             {"radiusNm", a.radiusNm},
                             {"elevation", a.elevationFt}});
    const Counts& c = world_->counts;
    return json{{"sim", options_.simVersion == 2024 ? "SunRise" : "KittyHawk"},
                {"simVersion", options_.simVersion},
                {"paused", paused_},
                {"simSeconds", simSeconds()},
                {"clients", clients_.size()},
                {"user", user},
                {"groundAreas", areas},
                {"flatGround", world_->flatGroundFt},
                {"objects", list},
                {"removed", removed},
                {"counts", json{{"creations", c.creations},
                                {"refusals", c.refusals},
                                {"removals", c.removals},
                                {"removalsAsked", c.removalsAsked},
                                {"droppedWithClient", c.droppedWithClient},
                                {"mostAtOnce", c.mostAtOnce},
                                {"refusedBlocks", c.refusedBlocks}}}};
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

} // namespace skyloom::simstub
