#include "engine/live/no_match.h"

#include "core/log.h"
#include "engine/base/engine_tables.h"

#include <utility>

void gf_logNoMatchList() {
    gf_log("\nNo match found for:");
    for (const std::string& key : noMatchSet)
        gf_log(key);
}

void gf_clearNoMatchList() {
    noMatchSet.clear();
}

bool gf_addNoMatch(std::string key) {
    return noMatchSet.insert(std::move(key)).second;
}

bool gf_isNoMatch(const std::string& key) {
    return noMatchSet.contains(key);
}
