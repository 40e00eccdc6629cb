// The stand-in's world: the user aircraft, the AI objects, the ground and what is kept of objects that left.
// No locking and no protocol here: SimStub holds it under its lock. Internal to tools/simstub.
#pragma once

#include "tools/simstub/protocol.h"
#include "tools/simstub/simstub.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace skyloom::simstub {

// The target of a data request or a data block: the user, or one AI object.
struct SimStub::Target {
    UserAircraft* user = nullptr;
    AiObject* ai = nullptr;
    std::uint32_t id() const { return ai != nullptr ? ai->id : protocol::kUserObjectId; }
};

struct SimStub::Client {
    int fd = -1;
    int id = 0;
    std::string in;
    std::string out;
    bool dead = false;
    bool writeFailed = false; // the client no longer takes what is sent
    bool closeAfterFlush = false;
    bool dropRequested = false;
    std::string name;
    std::map<std::uint32_t, std::vector<protocol::Datum>> defs;
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

class SimStub::World {
public:
    explicit World(const Options& options);

    UserAircraft user;
    std::map<std::uint32_t, AiObject> objects;
    std::deque<RemovedObject> removed; // oldest first, at most kRemovedObjectsLimit
    Counts counts;
    std::vector<GroundArea> groundAreas; // the first that holds a point gives its ground
    double flatGroundFt = 0;
    ModelCg defaultCg;
    std::map<std::string, ModelCg> modelCg;
    std::optional<std::set<std::string>> installedTitles;
    std::size_t maxObjects = 1000;

    double groundAt(double latitude, double longitude) const;
    ModelCg cgOf(const std::string& title) const;
    bool installed(const std::string& title) const;
    protocol::DatumSource sourceOf(const Target& t) const;

    // Takes a new object in under the next id and returns it.
    AiObject& add(AiObject o);
    // Takes an object out and keeps what the removed list holds of it; false when there is none by the id.
    bool remove(std::uint32_t id, double now, RemovalCause cause);
    // After a data block set on an object: `position` when the block moved it.
    void afterBlock(AiObject& o, bool position, double now);
    void clientEvent(AiObject& o, const std::string& name, std::uint32_t value, double now);

private:
    std::uint32_t nextObjectId_ = 3;
};

} // namespace skyloom::simstub
