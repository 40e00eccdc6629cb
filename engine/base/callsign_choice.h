#pragma once
// The CALLSIGN_2_OBJECTID box: the callsigns of the moving live aircraft, the object id of the chosen
// one, and the blocked callsign. Worker thread (the window thread raises request flags instead).

// The sorted callsigns of the active, not parked live aircraft become the box's list, its value the
// first of them (empty when none); the box and "Block" are enabled when the list is not empty,
// "Unblock" disabled. True when the list is not empty.
bool gf_fillCallsignChoice();
// The chosen callsign is forgotten: its text empty, the list one empty entry, the value empty, the box
// and "Block" disabled.
void gf_resetCallsignChoice();
// The first active live aircraft with the chosen callsign becomes the selected object ("= {oid}");
// none: "has left".
void gf_trackChosenCallsign();
