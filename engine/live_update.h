#pragma once
// The per-pass step of one live aircraft.

#include "engine/ac_records.h"

// One step of one live aircraft; true when the record is to be erased (eraseNow or eraseDropped set).
// An active aircraft with an object id puts its position block into the position buffer.
bool updateLiveAc(LiveAc& ac);
