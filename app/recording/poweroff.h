#pragma once

// The name of the environment variable that replaces the power-off: when it
// is set and not empty, EnableShutdown() runs its value with /bin/sh instead
// of asking the system. Tests set it to a harmless command.
inline constexpr char kPowerOffCommandVariable[] = "TUNECAP_POWEROFF_COMMAND";

// Switches the computer off now, without asking the user again: logind's
// PowerOff over the system D-Bus, and "systemctl poweroff" when logind
// refuses or cannot be reached. Returns true when the request was accepted
// (the replacement command: when it ended with status 0).
//
// Blocks until the request is answered (at most about half a minute). Any
// thread; QtCore and QtDBus only.
bool EnableShutdown();
