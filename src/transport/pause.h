// Fixed waits of the transport and the code above it (pauses between dependent
// writes, a retry's pause). They all go through one hook, so the program can map
// them onto its own sleep (the GUI's UI services, which tests run on a test clock).
#pragma once

namespace tavo {

using PauseHook = void (*)(int ms);

// Waits `ms` milliseconds (nothing for ms <= 0) through the installed hook, or
// sleeps when none is installed.
void Pause(int ms);
// Installs `hook` (nullptr: sleep again) and returns the one it replaces.
PauseHook SetPauseHook(PauseHook hook);

// A wait that is part of the line's timing (the Modbus turnaround): always real
// time, whatever the hook, because the other end is waiting just as long.
void LineWait(int ms);

} // namespace tavo
