#pragma once
// The aircraft for which no livery was found (their match keys), so that they are not tried again
// until the set is emptied.

#include <string>

// Logs "\nNo match found for:" and every key, one per line.
void gf_logNoMatchList();
void gf_clearNoMatchList();
// Adds a match key; true when it was new.
bool gf_addNoMatch(std::string key);
bool gf_isNoMatch(const std::string& key);
