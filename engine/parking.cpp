#include "engine/parking.h"

// Until stands can be taken, a halted aircraft stays where it is.
void try2Park(LiveAc& /*ac*/, bool /*landed*/) {}
