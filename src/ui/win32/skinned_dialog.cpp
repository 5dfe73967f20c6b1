#include "ui/win32/skinned_dialog.h"

#include "app/startup.h"
#include "ui/dialog_texts.h"
#include "ui/win32/png_resource.h"

namespace vaultaide {

namespace {

// Carries a std::function<void()>* in lParam; handled on the dialog's thread.
constexpr UINT kRunOnDialogThread = WM_APP + 1;

DWORD WINAPI detachedThread(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    (*work)();
    return 0;
}

WindowRect windowRectOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

WindowRect windowRectOf(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

// An elevated window gets no message from a program of a lower integrity level unless it lets
// that message through: the suite's programs, which post the "end" message, run as the user.
// Per window from Windows 7 on, for the whole process on Vista; earlier systems drop nothing.
void letMessageThrough(HWND window, UINT message) {
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, and MSGFLT_ADD on Vista
    using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (message == 0 || !user32) return;
    if (auto ex = reinterpret_cast<FilterEx>(
            reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx"))))
        ex(window, message, kAllow, nullptr);
    else if (auto filter = reinterpret_cast<Filter>(
                 reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter"))))
        filter(message, kAllow);
}

}  // namespace

void startDetachedThread(std::function<void()> work) {
    auto* parameter = new std::function<void()>(std::move(work));
    HANDLE thread = CreateThread(nullptr, 0, detachedThread, parameter, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete parameter;
}

SkinnedDialog::SkinnedDialog(DialogContext& context, DialogKind kind, int progressMode)
    : context_(context), kind_(kind), traits_(frameTraits(kind, progressMode)) {}

SkinnedDialog::~SkinnedDialog() { releaseBackground(); }

INT_PTR SkinnedDialog::runModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(traits_.templateId), nullptr,
                           dialogProc, reinterpret_cast<LPARAM>(this));
}

void SkinnedDialog::runOnDialogThread(const std::function<void()>& work) {
    SendMessageA(window_, kRunOnDialogThread, 0,
                 reinterpret_cast<LPARAM>(const_cast<std::function<void()>*>(&work)));
}

INT_PTR CALLBACK SkinnedDialog::dialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<SkinnedDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
        letMessageThrough(window, dialog->context_.detectMessageId);
        return dialog->onInitDialog();
    }
    auto* dialog = reinterpret_cast<SkinnedDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    return dialog ? dialog->handle(message, wParam, lParam) : FALSE;
}

INT_PTR SkinnedDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == context_.detectMessageId && message != 0) {
        if (wParam == kBroadcastEnd) context_.platform.kernel.exitProcess(0);
        return FALSE;
    }
    INT_PTR result = FALSE;
    if (onMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case kRunOnDialogThread:
            (*reinterpret_cast<std::function<void()>*>(lParam))();
            return TRUE;
        case WM_PAINT:
            paint();
            return TRUE;
        case WM_MOVING:
            // Where the drag takes the window, so that the last step of a drag counts too: the
            // next page opens where this one was left.
            rememberPosition(windowRectOf(*reinterpret_cast<const RECT*>(lParam)));
            return FALSE;
        case WM_MOVE:
            if (traits_.recordsOnMove) rememberPosition(windowRectOf(window_));
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (!hasTransparentLabel(id)) return FALSE;
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                onCancel();
                return TRUE;
            }
            return onCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    }
    return FALSE;
}

bool SkinnedDialog::onCommand(int, int) { return false; }

void SkinnedDialog::onCancel() {
    if (traits_.asksBeforeQuit)
        quitConfirmation();
    else
        EndDialog(window_, IDCANCEL);
}

bool SkinnedDialog::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

bool SkinnedDialog::hasTransparentLabel(int) const { return false; }

void SkinnedDialog::setUpFrame() {
    HMODULE module = GetModuleHandleA(nullptr);
    char about[256] = {};
    LoadStringA(module, kAboutStringId, about, sizeof about);
    if (about[0] != '\0') {
        if (HMENU menu = GetSystemMenu(window_, FALSE)) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(menu, MF_STRING, kAboutCommandId, about);
        }
    }
    icon_ = LoadIconA(module, MAKEINTRESOURCEA(context_.state.iconId));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SetWindowTextA(window_, context_.state.windowTitle.c_str());
}

void SkinnedDialog::loadBackground(int32_t id) {
    releaseScaledBackground();
    loadPngResource(background_, id);
}

void SkinnedDialog::releaseBackground() {
    releaseScaledBackground();
    if (background_) DeleteObject(background_);
    background_ = nullptr;
}

void SkinnedDialog::releaseScaledBackground() {
    if (scaled_) DeleteObject(scaled_);
    scaled_ = nullptr;
}

void SkinnedDialog::place() {
    if (traits_.placement == Placement::Default) {
        // As the framework places a new dialog: centred, shown by the modal loop after set-up,
        // its z-order left alone.
        RECT work = {}, window = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(window_, &window);
        const ScreenPoint at =
            centredInWorkArea({work.left, work.top, work.right, work.bottom},
                              window.right - window.left, window.bottom - window.top);
        SetWindowPos(window_, nullptr, at.x, at.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    RECT measured = {};
    if (traits_.placement == Placement::CentredByClient)
        GetClientRect(window_, &measured);
    else
        GetWindowRect(window_, &measured);
    const ScreenPoint at =
        placementPosition(traits_.placement, context_.state.lastWindowRect,
                          GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                          measured.right - measured.left, measured.bottom - measured.top);
    SetWindowPos(window_, HWND_TOPMOST, at.x, at.y, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

void SkinnedDialog::refreshControl(int controlId) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(window_, controlId), &rect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    InvalidateRect(window_, &rect, TRUE);
    UpdateWindow(window_);
}

void SkinnedDialog::showControl(int controlId, int command) {
    ShowWindow(GetDlgItem(window_, controlId), command);
}

int SkinnedDialog::ask(const std::string& text, const std::string& caption, unsigned style) {
    return MessageBoxA(window_, text.c_str(), caption.c_str(), style);
}

void SkinnedDialog::quitConfirmation() {
    if (MessageBoxA(nullptr, kQuitQuestion, context_.state.promptCaption.c_str(),
                    MB_YESNO | MB_TOPMOST) == IDYES)
        context_.platform.kernel.exitProcess(0);
}

// The picture stretched over the whole client area, once for each picture and client size;
// a paint then copies the part it repaints. A label's repaint after each reported piece of a
// download would otherwise stretch the whole picture again.
void SkinnedDialog::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (background_) {
        RECT client = {};
        GetClientRect(window_, &client);
        const SIZE size = {client.right - client.left, client.bottom - client.top};
        if (scaled_ && (size.cx != scaledSize_.cx || size.cy != scaledSize_.cy))
            releaseScaledBackground();
        HDC memory = CreateCompatibleDC(dc);
        if (!scaled_) {
            scaled_ = CreateCompatibleBitmap(dc, size.cx, size.cy);
            scaledSize_ = size;
            HDC source = CreateCompatibleDC(dc);
            BITMAP info = {};
            GetObjectA(background_, sizeof info, &info);
            HGDIOBJ previousSource = SelectObject(source, background_);
            HGDIOBJ previous = SelectObject(memory, scaled_);
            StretchBlt(memory, 0, 0, size.cx, size.cy, source, 0, 0, info.bmWidth, info.bmHeight,
                       SRCCOPY);
            SelectObject(memory, previous);
            SelectObject(source, previousSource);
            DeleteDC(source);
        }
        HGDIOBJ previous = SelectObject(memory, scaled_);
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, memory, ps.rcPaint.left, ps.rcPaint.top,
               SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    EndPaint(window_, &ps);
}

void SkinnedDialog::rememberPosition(const WindowRect& rect) {
    rememberWindowRect(context_.state, rect, IsIconic(window_) != FALSE);
}

}  // namespace vaultaide
