#include "app/status_line.h"

#include "app/main_window.h"
#include "core/hooks.h"
#include "core/log.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

void gf_windowShowMessage(std::string_view text, bool log) {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        if (!mainWindow.errorLine.empty()) return; // the error line has priority
        mainWindow.messageLine.assign(text);
        mainWindow.messageSecond = text.empty() ? 0 : std::max(mainWindow.clockSecond.load(), 1);
    }
    if (log && !text.empty()) gf_logUnlessStopping(text); // the log mutex never nests in the status mutex
    gf_invalidate(uiMessageBand);
}

void gf_windowShowError(std::string_view text) {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        mainWindow.messageLine.clear();
        mainWindow.messageSecond = 0;
        mainWindow.errorLine.assign(text);
    }
    // Emptying the error line (the static-parking step does) is not an error of its own.
    if (!text.empty()) gf_logUnlessStopping(fmt::format("Error {}", text));
    gf_invalidate(uiMessageBand);
}

void gf_installStatusLine() {
    gf_coreHooks().showMessage = gf_windowShowMessage;
    gf_coreHooks().showError = gf_windowShowError;
}

void gf_clearMessage() {
    gf_windowShowMessage("", false);
}

void gf_clearError() {
    {
        std::lock_guard lock(mainWindow.statusMutex);
        if (mainWindow.errorLine.empty()) return;
        mainWindow.errorLine.clear();
    }
    gf_invalidate(uiMessageBand);
}

void gf_expireMessageLine() {
    bool expired = false;
    {
        std::lock_guard lock(mainWindow.statusMutex);
        const int since = mainWindow.messageSecond.load();
        const int elapsed = mainWindow.clockSecond.load() - since; // negative: the clock started again
        if (since >= 1 && (elapsed >= messageLifetimeSeconds || elapsed < 0)) {
            mainWindow.messageLine.clear();
            mainWindow.messageSecond = 0;
            expired = true;
        }
    }
    if (expired) gf_invalidate(uiMessageBand);
}
