#include "app/browser_question.h"

#include "app/system_utils.h"
#include "platform/ui_services.h"
#include "ui/dialog_texts.h"

namespace vaultaide {

bool closeBrowserWithConsent(Processes& processes, const std::string& caption,
                             const AskFunction& ask) {
    uint32_t browser = 0;
    if (!findRunningBrowser(processes, browser)) return true;
    if (ask(kCloseBrowserQuestion, caption, kMbYesNo) != kIdYes) return false;
    terminateBrowser(processes, browser);
    return true;
}

}  // namespace vaultaide
