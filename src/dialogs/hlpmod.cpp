#include "dialogs/hlpmod.h"

namespace tarsel {

namespace {
THelpMod *g_instance = nullptr;
}

THelpMod::THelpMod() { if (!g_instance) g_instance = this; }
THelpMod::~THelpMod() { if (g_instance == this) g_instance = nullptr; }
THelpMod *THelpMod::Instance() { return g_instance; }

// The help window arrives with the help pages.
void THelpMod::ShowHelpTopic(const QString &, QWidget *) {}

} // namespace tarsel
