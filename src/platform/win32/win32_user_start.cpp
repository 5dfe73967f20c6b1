// Starting a program as the user who is logged on: the desktop's shell starts it, so it gets
// the token the user's own programs have instead of this elevated process's. The shell's
// automation object is reached from the desktop window in the session's list of shell windows.
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_platform.h"

namespace vaultaide {

namespace {

// A BSTR or another VARIANT, freed once.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    explicit Variant(const std::wstring& text) : Variant() {
        value_.vt = VT_BSTR;
        value_.bstrVal = SysAllocString(text.c_str());
    }
    explicit Variant(int number) : Variant() {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT& get() { return value_; }

private:
    VARIANT value_;
};

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                            length);
    return result;
}

// The shell's automation object of the desktop: shell windows, the desktop's browser, its
// view, the view's background object, its application.
ScopedCom<IShellDispatch2> desktopShell() {
    ScopedCom<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.receive()))))
        return {};
    Variant location(CSIDL_DESKTOP);
    Variant empty;
    long window = 0;
    ScopedCom<IDispatch> desktop;
    if (windows.get()->FindWindowSW(&location.get(), &empty.get(), SWC_DESKTOP, &window,
                                    SWFO_NEEDDISPATCH, desktop.receive()) != S_OK ||
        !desktop)
        return {};
    ScopedCom<IServiceProvider> provider;
    ScopedCom<IShellBrowser> browser;
    ScopedCom<IShellView> view;
    ScopedCom<IDispatch> background;
    ScopedCom<IShellFolderViewDual> folderView;
    ScopedCom<IDispatch> application;
    ScopedCom<IShellDispatch2> shell;
    if (FAILED(desktop.get()->QueryInterface(IID_IServiceProvider,
                                             reinterpret_cast<void**>(provider.receive()))) ||
        FAILED(provider.get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                            reinterpret_cast<void**>(browser.receive()))) ||
        FAILED(browser.get()->QueryActiveShellView(view.receive())) ||
        FAILED(view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                         reinterpret_cast<void**>(background.receive()))) ||
        FAILED(background.get()->QueryInterface(IID_IShellFolderViewDual,
                                                reinterpret_cast<void**>(folderView.receive()))) ||
        FAILED(folderView.get()->get_Application(application.receive())) || !application ||
        FAILED(application.get()->QueryInterface(IID_IShellDispatch2,
                                                 reinterpret_cast<void**>(shell.receive()))))
        return {};
    return shell;
}

// COM for the calling thread, as it finds it: a thread that already chose its model keeps it.
class ThreadCom {
public:
    ThreadCom() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ThreadCom() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ThreadCom(const ThreadCom&) = delete;
    ThreadCom& operator=(const ThreadCom&) = delete;
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

}  // namespace

bool processIsElevated() {
    // TokenElevation (20) is known from Windows Vista on; before, the call fails: not elevated.
    constexpr auto kTokenElevation = static_cast<TOKEN_INFORMATION_CLASS>(20);
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    ScopedHandle token(raw);
    DWORD elevation = 0;
    DWORD size = 0;
    return GetTokenInformation(token.get(), kTokenElevation, &elevation, sizeof elevation, &size) &&
           elevation != 0;
}

bool startThroughDesktopShell(const std::string& file, const std::string& parameters,
                              WindowShow show) {
    // No desktop shell in this session (a replacement shell, a service's session), or one that
    // does not answer: nothing to ask, since a call into a hung shell would never return.
    constexpr UINT kShellAnswerMs = 2000;
    HWND desktop = GetShellWindow();
    DWORD_PTR answer = 0;
    if (!desktop ||
        !SendMessageTimeoutA(desktop, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kShellAnswerMs, &answer))
        return false;
    ThreadCom com;
    if (!com.usable()) return false;
    const ScopedCom<IShellDispatch2> shell = desktopShell();
    if (!shell) return false;
    Variant arguments(wide(parameters));
    Variant folder(std::wstring{});
    Variant verb(std::wstring{});
    Variant showCommand(showCommandOf(show));
    BSTR path = SysAllocString(wide(file).c_str());
    const HRESULT result = shell.get()->ShellExecute(path, arguments.get(), folder.get(),
                                                     verb.get(), showCommand.get());
    SysFreeString(path);
    return SUCCEEDED(result);
}

}  // namespace vaultaide
