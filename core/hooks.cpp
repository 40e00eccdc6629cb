#include "core/hooks.h"

#include "core/log.h"

#include <fmt/format.h>

namespace {

CoreHooks hooks;

} // namespace

CoreHooks& gf_coreHooks() {
    return hooks;
}

void gf_resetCoreHooks() {
    hooks = CoreHooks{};
}

void gf_showMessage(std::string_view text, bool log) {
    if (hooks.showMessage) {
        hooks.showMessage(text, log);
        return;
    }
    if (log && !text.empty()) gf_logUnlessStopping(text);
}

void gf_showError(std::string_view text) {
    if (hooks.showError) {
        hooks.showError(text);
        return;
    }
    if (!text.empty()) gf_logUnlessStopping(fmt::format("Error {}", text));
}
