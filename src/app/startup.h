#pragma once

namespace tarsel {

// The program: single-instance guard, splash, the start-up creations and the event
// loop. Returns the process exit code.
int RunTarsel(int argc, char **argv);

} // namespace tarsel
