#pragma once
// Functions shared by the source files of the simulator link; not for other modules.

#include "simlink/sim_link.h"

#include <cstdint>

// The dispatch callback; every message of the simulator goes through it on the SimClient thread.
void lf_simDispatch(SIMCONNECT_RECV* message, std::uint32_t size, void* context);
// The frame flush of the command queues (SimClient thread).
void lf_flushSimQueues();
// The registration of events, definitions and client events after an open.
void lf_setupSimConnect();

// Replies about the user aircraft (SimClient thread).
void lf_onUserOnGround(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply);
void lf_onUserState(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply);
void lf_onUserAcTitle(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply);
void lf_onUserAcModel(const SIMCONNECT_RECV_SIMOBJECT_DATA& reply);

// The user position is known (from the last state reply).
bool lf_userPositionKnown();
// The chosen simulator is MSFS 2020.
bool lf_chosenSimIs2020();
// Counts a frame handled by the dispatch.
void lf_countFrame();
// Calls the repaint hook.
void lf_repaintStatus();
// The run reset's part of the dispatch (frame counter, AS-GEN note) and of the user aircraft.
void lf_resetDispatchState();
void lf_resetUserAircraft();
