#include "session/mainservices.h"

namespace tarsel {

const char *ActionName(TActionId id)
{
    static const char *const names[] = {
        "ActionQuickCon", "ActionNew", "ActionPreferences", "ActionNewProfile", "ActionProfiles",
        "ActionCloseActive", "ActionExit", "ActionUpDir", "ActionChangeDir", "ActionMkdDir", "ActionRenameDir",
        "ActionRemoveDir", "ActionNewLocalDir", "ActionRefreshRemote", "ActionRefreshLocal", "ActionUploadFile",
        "ActionResumeUp", "ActionDownloadFile", "ActionResumeDown", "ActionDeleteRemote", "ActionRenameRemoteFile",
        "ActionBatchUpload", "ActionBatchDownload", "ActionBatchDelete", "ActionSaveLog", "ActionDirInfo",
        "ActionChmod", "ActionChmodDir", "ActionQuote", "ActionCWD", "ActionCDUP", "ActionPWD", "ActionHELP",
        "ActionSYST", "ActionSITE", "ActionLIST", "ActionNLST", "ActionSTOR", "ActionRETR", "ActionSTAT",
        "ActionSIZE", "ActionQUIT", "ActionListView", "ActionDetailView", "ActionLgIconView", "ActionSmIconView",
        "ActionAbout", "ActionHelpDefault", "ActionTarselOnline", "ActionQuendal", "ActionQuendalSupport",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == static_cast<size_t>(TActionId::ActionQuendalSupport) + 1);
    return names[static_cast<size_t>(id)];
}

} // namespace tarsel
