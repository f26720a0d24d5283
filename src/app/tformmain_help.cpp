// The Help menu of the main window: about box, help pages and the maker's web pages.
#include "app/tformmain.h"
#include "dialogs/about.h"
#include "dialogs/hlpmod.h"
#include "uikit/prompts.h"

namespace tarsel {

void TFormMain::ActionAboutExecute()
{
    TFormAbout about(*m_prompts, this);
    m_prompts->ExecDialog(about);
}

void TFormMain::ActionHelpDefaultExecute()
{
    if (THelpMod *help = THelpMod::Instance())
        help->ShowHelpTopic(QStringLiteral("root/default.html"), this);
}

void TFormMain::ActionTarselOnlineExecute() { m_prompts->OpenUrl(weblinks::ProductPage()); }
void TFormMain::ActionQuendalExecute() { m_prompts->OpenUrl(weblinks::MakerHome()); }
void TFormMain::ActionQuendalSupportExecute() { m_prompts->OpenUrl(weblinks::Support()); }

} // namespace tarsel
