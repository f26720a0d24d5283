#pragma once

#include <functional>
#include <vector>

namespace tarsel {

class TfrmSplash;

// Runs the start-up creations in order; after each, the splash shows "Loading...20%",
// "Loading...40%" and so on, repaints, and the sequence pauses `pauseMs`.
void RunCreations(TfrmSplash *splash, const std::vector<std::function<void()>> &creations, int pauseMs);

// The names under which the settings are kept. No display name is set: the platform
// would append it to every window title, and box titles are exactly the given captions.
void SetApplicationNames();

// The program: single-instance guard, splash, the start-up creations and the event
// loop. Returns the process exit code.
int RunTarsel(int argc, char **argv);

} // namespace tarsel
