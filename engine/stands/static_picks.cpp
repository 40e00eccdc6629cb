#include "engine/stands/static_picks.h"

StaticPicks staticPicks;
