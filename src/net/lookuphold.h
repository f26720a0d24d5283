#pragma once
// A hold on name lookups, for tests: a lookup of a name the hold takes is never
// answered, so a connect stuck in its lookup can be shown without any network.

#include <functional>
#include <string>

namespace tarsel {

// Names for which `hold` returns true stay unanswered (a cancel still ends them);
// empty: every name goes to the resolver. Set from the thread that runs the sockets.
void WSocketSetLookupHold(std::function<bool(const std::string &name)> hold);

} // namespace tarsel
