#include "ui/win32/option_dlg.h"

#include <shlobj.h>

#include "ui/dialog_texts.h"
#include "ui/dialogs/install_folder.h"
#include "ui/win32/install_dlg.h"
#include "ui/win32/progress_dlg.h"

namespace vaultaide {

namespace {

constexpr int kHeadingId = 1013;
constexpr int kQuickLaunchBox = 1014;
constexpr int kProgramGroupBox = 1015;
constexpr int kDesktopBox = 1016;
constexpr int kFolderEdit = 1017;
constexpr int kBrowseButton = 1018;
constexpr int kBackButton = 1011;
constexpr int kAutostartBox = 1031;

bool* flagOfBox(AppState& state, int id) {
    switch (id) {
        case kQuickLaunchBox:
            return &state.createQuickLaunch;
        case kProgramGroupBox:
            return &state.createProgramGroup;
        case kDesktopBox:
            return &state.createDesktopShortcut;
        case kAutostartBox:
            return &state.runAtStartup;
    }
    return nullptr;
}

class PageChecks : public InstallFolderChecks {
public:
    explicit PageChecks(HWND page) : page_(page) {}
    int ask(const std::string& text, const std::string& caption, unsigned style) override {
        return MessageBoxA(page_, text.c_str(), caption.c_str(), style);
    }
    uint32_t driveType(const std::string& component) override {
        return GetDriveTypeA(component.c_str());
    }
    bool keepsAccessLists(const std::string& component) override {
        DWORD flags = 0;
        return GetVolumeInformationA((component + "\\").c_str(), nullptr, 0, nullptr, nullptr,
                                     &flags, nullptr, 0) &&
               (flags & FILE_PERSISTENT_ACLS) != 0;
    }

private:
    HWND page_;
};

}  // namespace

BOOL COptionDlg::onInitDialog() {
    AppState& state = context_.state;
    setUpFrame();
    SetDlgItemTextA(window_, kHeadingId, shortcutHeading(state).c_str());
    showControl(kQuickLaunchBox, SW_HIDE);
    showControl(kAutostartBox, SW_HIDE);
    state.runAtStartup = true;
    // The boxes show the flags, so a page reopened through "后退" keeps the user's choice.
    for (int box : {kProgramGroupBox, kDesktopBox, kAutostartBox, kQuickLaunchBox})
        CheckDlgButton(window_, box, *flagOfBox(state, box) ? BST_CHECKED : BST_UNCHECKED);
    char programFiles[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    SetDlgItemTextA(window_, kFolderEdit, installFolderUnder(programFiles, state).c_str());
    loadBackground(backgroundId(kind_, state));
    place();
    return TRUE;
}

bool COptionDlg::onCommand(int id, int notification) {
    if (bool* flag = flagOfBox(context_.state, id)) {
        if (notification == BN_CLICKED) *flag = IsDlgButtonChecked(window_, id) == BST_CHECKED;
        return true;
    }
    switch (id) {
        case kBrowseButton:
            browse();
            return true;
        case kBackButton: {
            ShowWindow(window_, SW_HIDE);
            CInstallDlg welcome(context_);
            welcome.runModal();
            EndDialog(window_, IDCANCEL);
            return true;
        }
        case IDOK:
            next();
            return true;
    }
    return false;
}

std::string COptionDlg::folderText() const {
    HWND edit = GetDlgItem(window_, kFolderEdit);
    std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

void COptionDlg::browse() {
    // The picker's new style needs COM on this thread, which may be the version query's worker.
    const HRESULT com = CoInitialize(nullptr);
    BROWSEINFOA info = {};
    info.hwndOwner = window_;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info)) {
        char path[MAX_PATH] = {};
        if (!SHGetPathFromIDListA(item, path)) path[0] = '\0';
        CoTaskMemFree(item);
        SetDlgItemTextA(window_, kFolderEdit, installFolderUnder(path, context_.state).c_str());
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

void COptionDlg::next() {
    PageChecks checks(window_);
    if (!confirmInstallFolder(context_.platform, context_.state, checks, folderText())) return;
    ShowWindow(window_, SW_HIDE);
    CProgressDlg progress(context_, 0);
    progress.runModal();
    EndDialog(window_, IDCANCEL);
}

}  // namespace vaultaide
