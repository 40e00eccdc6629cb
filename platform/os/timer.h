#pragma once
// Raising the system timer resolution: only needed on Windows, nothing to do here.

namespace os {

inline void beginTimerResolution(unsigned /*milliseconds*/) {}
inline void endTimerResolution(unsigned /*milliseconds*/) {}

} // namespace os
