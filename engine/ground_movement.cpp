#include "engine/ground_movement.h"

// Until the ground movement proper exists the aircraft is not driven anywhere.
void drive2Stand(LiveAc& /*ac*/, const StandPlace& /*stand*/) {}
