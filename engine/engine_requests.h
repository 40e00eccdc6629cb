#pragma once
// Requests other threads leave for the engine; the next engine pass serves them on the worker thread.

#include <cstdint>

// Remove the farthest active live aircraft until at most maxLive remain (MAX_LIVE_SEL lowered).
void gf_requestLiveTrim(std::int32_t maxLive);
// The navigation lights of parked aircraft (active static and parked active live ones) on or off.
void gf_requestParkedNavLights(bool on);

// Worker: serves what is pending (called by the engine pass).
void gf_serveEngineRequests();
// Drops whatever is pending (the reset).
void gf_dropEngineRequests();
