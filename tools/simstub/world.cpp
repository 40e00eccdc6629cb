#include "tools/simstub/world.h"

#include <cmath>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>

namespace skyloom::simstub {

using protocol::kDegToRad;

SimStub::World::World(const Options& options)
    : user(options.user), groundAreas(options.groundAreas), flatGroundFt(options.groundElevationFt),
      defaultCg(options.defaultCg), modelCg(options.modelCg), installedTitles(options.installedTitles),
      maxObjects(options.maxObjects) {}

double SimStub::World::groundAt(double latitude, double longitude) const {
    for (const GroundArea& a : groundAreas)
        if (protocol::distanceNm(latitude, longitude, a.latitude, a.longitude) <= a.radiusNm)
            return a.elevationFt;
    return flatGroundFt;
}

ModelCg SimStub::World::cgOf(const std::string& title) const {
    const auto it = modelCg.find(title);
    return it != modelCg.end() ? it->second : defaultCg;
}

bool SimStub::World::installed(const std::string& title) const {
    // No aircraft goes by an empty title, even where every title counts as installed.
    return !title.empty() && (!installedTitles || installedTitles->contains(title));
}

protocol::DatumSource SimStub::World::sourceOf(const Target& t) const {
    protocol::DatumSource s;
    s.user = &user;
    s.ai = t.ai;
    const double lat = t.ai ? t.ai->latitude : user.latitude;
    const double lon = t.ai ? t.ai->longitude : user.longitude;
    s.groundFt = groundAt(lat, lon);
    s.cg = cgOf(t.ai ? t.ai->title : user.title);
    return s;
}

AiObject& SimStub::World::add(AiObject o) {
    o.id = nextObjectId_++;
    const std::uint32_t id = o.id;
    AiObject& added = objects.emplace(id, std::move(o)).first->second;
    ++counts.creations;
    counts.mostAtOnce = std::max<std::uint64_t>(counts.mostAtOnce, objects.size());
    return added;
}

bool SimStub::World::remove(std::uint32_t id, double now, RemovalCause cause) {
    const auto it = objects.find(id);
    if (it == objects.end()) return false;
    AiObject& o = it->second;
    // An object a client asked to remove counts as asked for, even if its connection closes first.
    if (o.removalAskedAt) cause = RemovalCause::Client;
    ++counts.removals;
    if (cause == RemovalCause::Client) ++counts.removalsAsked;
    if (cause == RemovalCause::Disconnect) ++counts.droppedWithClient;
    // The record keeps the motion's figures; the recent blocks only served the object while it moved,
    // and across the whole history they would weigh far more than everything else it keeps.
    Motion motion = std::move(o.motion);
    std::vector<Motion::Fix>().swap(motion.recent);
    removed.push_back(RemovedObject{o.id, std::move(o.tail), std::move(o.title), o.createdAt, now, o.latitude,
                                    o.longitude, o.altitudeFt, cause, std::move(motion)});
    if (removed.size() > kRemovedObjectsLimit) removed.pop_front();
    objects.erase(it);
    return true;
}

void SimStub::World::afterBlock(AiObject& o, bool position, double now) {
    ++o.positionUpdates;
    if (!position) return;
    o.onGround = o.altitudeFt - groundAt(o.latitude, o.longitude) <= cgOf(o.title).cgHeightFt + 1.0;
    Motion& m = o.motion;
    const double heading = o.headingRad / kDegToRad;
    if (m.positionBlocks == 0) {
        m.firstBlockAt = now;
    } else {
        m.largestJumpNm = std::max(
            m.largestJumpNm, protocol::distanceNm(m.lastLatitude, m.lastLongitude, o.latitude, o.longitude));
        double turn = std::fmod(std::abs(heading - m.lastHeadingDeg), 360.0);
        if (turn > 180.0) turn = 360.0 - turn;
        m.largestHeadingChangeDeg = std::max(m.largestHeadingChangeDeg, turn);
        if (now > m.lastAt) {
            m.referenceAt = m.lastAt;
            m.referenceLatitude = m.lastLatitude;
            m.referenceLongitude = m.lastLongitude;
        }
        if (m.referenceAt && now > *m.referenceAt) {
            const double nm =
                protocol::distanceNm(m.referenceLatitude, m.referenceLongitude, o.latitude, o.longitude);
            m.largestSpeedKt = std::max(m.largestSpeedKt, nm / (now - *m.referenceAt) * 3600.0);
        }
    }
    // The steady speed: from the latest block at least kSteadySpeedSeconds before this one.
    std::size_t older = 0;
    while (m.recent.size() - older >= 2 && m.recent[older + 1].at <= now - kSteadySpeedSeconds)
        ++older;
    m.recent.erase(m.recent.begin(), m.recent.begin() + static_cast<std::ptrdiff_t>(older));
    if (!m.recent.empty() && m.recent.front().at <= now - kSteadySpeedSeconds) {
        const Motion::Fix& from = m.recent.front();
        const double nm = protocol::distanceNm(from.latitude, from.longitude, o.latitude, o.longitude);
        m.largestSteadySpeedKt = std::max(m.largestSteadySpeedKt, nm / (now - from.at) * 3600.0);
    }
    m.recent.push_back(Motion::Fix{now, o.latitude, o.longitude});
    ++m.positionBlocks;
    m.lastAt = now;
    m.lastLatitude = o.latitude;
    m.lastLongitude = o.longitude;
    m.lastHeadingDeg = heading;
}

void SimStub::World::clientEvent(AiObject& o, const std::string& name, std::uint32_t value, double now) {
    o.events.push_back(ClientEventEntry{name, value, now});
    if (o.events.size() > kEventHistoryLimit) {
        o.events.pop_front();
        ++o.eventsDropped;
    }
}

// ---- titles -----------------------------------------------------------------------------------------------

std::set<std::string> readTitlesFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read titles file {}", file.string()));
    std::set<std::string> titles;
    std::string line;
    while (std::getline(in, line)) {
        line = protocol::trim(line);
        if (!line.empty() && line[0] != '#') titles.insert(line);
    }
    return titles;
}

std::set<std::string> scanCommunityTitles(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    using protocol::lower;
    using protocol::trim;
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

} // namespace skyloom::simstub
