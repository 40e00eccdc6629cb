#include "engine/live/no_match.h"

#include "core/log.h"
#include "engine/base/engine_tables.h"

#include <utility>

void gf_logNoMatchList() {
    gf_log("\nNo match found for:");
    for (const std::string& key : engineLists.noMatchSet)
        gf_log(key);
}

void gf_clearNoMatchList() {
    engineLists.noMatchSet.clear();
}

bool gf_addNoMatch(std::string key) {
    return engineLists.noMatchSet.insert(std::move(key)).second;
}

bool gf_isNoMatch(const std::string& key) {
    return engineLists.noMatchSet.contains(key);
}
