#pragma once
// The user's request to stop a console program (Ctrl+C, or a termination request).

namespace qelvo::platform {

// Calls handler, from a signal handler or the system's console thread, when the user
// asks the program to stop; handler may only set a flag.
void OnInterruptRequest(void (*handler)());

}  // namespace qelvo::platform
