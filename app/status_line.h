#pragma once
// The message line at the bottom of the main window (clears itself 25 seconds after it was set) and the
// red error line that takes its place while it is set. Any thread may call these; they change the
// lines under the main window's status mutex and invalidate the message band.

#include <string_view>

// The window's message line. gf_showMessage and gf_showError (core/hooks.h) reach these once
// gf_installStatusLine has run.
void gf_windowShowMessage(std::string_view text, bool log);
void gf_windowShowError(std::string_view text);
// Points the core hooks gf_showMessage and gf_showError at the window's lines.
void gf_installStatusLine();

// gf_showMessage with an empty text.
void gf_clearMessage();
// Empties the error line (the message line shows again).
void gf_clearError();

// The per-second step: clears the message line once it has been shown for 25 seconds of clockSecond.
void gf_expireMessageLine();
inline constexpr int messageLifetimeSeconds = 25;
