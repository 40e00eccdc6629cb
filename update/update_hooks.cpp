#include "update/update_hooks.h"

UpdateHooks& gf_updateHooks() {
    static UpdateHooks hooks;
    return hooks;
}

void gf_resetUpdateHooks() {
    gf_updateHooks() = UpdateHooks{};
}
