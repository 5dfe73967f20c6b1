#include "wine/driver/ui_commands.h"

#include <windows.h>

#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace vaultaide::driver {

namespace {

constexpr UINT kTimeoutMs = 3000;

HWND windowOf(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text.c_str(), nullptr, 0)));
}

// Window text by message, so that edit controls of another process answer too.
std::string textOf(HWND window) {
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kTimeoutMs, &copied))
        return "";
    std::string result(text, std::min<size_t>(copied, sizeof text - 1));
    std::replace(result.begin(), result.end(), '\n', ' ');
    std::replace(result.begin(), result.end(), '\r', ' ');
    return result;
}

LRESULT ask(HWND window, UINT message, WPARAM wParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

BOOL CALLBACK dumpControl(HWND control, LPARAM) {
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    const int id = GetDlgCtrlID(control);
    const int visible = IsWindowVisible(control) ? 1 : 0;
    if (lstrcmpiA(className, PROGRESS_CLASSA) == 0) {
        std::printf("bar %d %d %ld %ld %ld\n", id, visible,
                    static_cast<long>(ask(control, PBM_GETRANGE, TRUE)),
                    static_cast<long>(ask(control, PBM_GETRANGE, FALSE)),
                    static_cast<long>(ask(control, PBM_GETPOS)));
        return TRUE;
    }
    const LRESULT checked = lstrcmpiA(className, "Button") == 0 ? ask(control, BM_GETCHECK) : 0;
    std::printf("control %d %s %d %d %ld %s\n", id, className, visible,
                IsWindowEnabled(control) ? 1 : 0, static_cast<long>(checked),
                textOf(control).c_str());
    return TRUE;
}

BOOL CALLBACK dumpWindow(HWND window, LPARAM) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    // Visibility first: a window seen shown has its placement, which comes with the showing.
    const bool visible = IsWindowVisible(window) != FALSE;
    RECT rect = {};
    GetWindowRect(window, &rect);
    const bool topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::printf("window %llu %d %d %ld %ld %ld %ld %s\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)),
                visible ? 1 : 0, topmost ? 1 : 0, rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top, textOf(window).c_str());
    EnumChildWindows(window, dumpControl, 0);
    return TRUE;
}

bool savePng(HBITMAP bitmap, const std::string& file) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    Gdiplus::GpBitmap* image = nullptr;
    bool saved = false;
    if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
        // The PNG encoder of GDI+.
        const CLSID png = {
            0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        wchar_t path[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, path, MAX_PATH);
        saved = Gdiplus::DllExports::GdipSaveImageToFile(image, path, &png, nullptr) == Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(image);
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

}  // namespace

int uiDump(const Args&) {
    EnumWindows(dumpWindow, 0);
    return 0;
}

int uiClick(const Args& a) {
    HWND control = GetDlgItem(windowOf(a[0]), std::atoi(a[1].c_str()));
    return control && PostMessageA(control, BM_CLICK, 0, 0) ? 0 : 1;
}

int uiSetText(const Args& a) {
    HWND control = GetDlgItem(windowOf(a[0]), std::atoi(a[1].c_str()));
    DWORD_PTR result = 0;
    return control && SendMessageTimeoutA(control, WM_SETTEXT, 0,
                                          reinterpret_cast<LPARAM>(a[2].c_str()), SMTO_ABORTIFHUNG,
                                          kTimeoutMs, &result)
               ? 0
               : 1;
}

int uiSnap(const Args& a) {
    RECT rect = {};
    if (!GetWindowRect(windowOf(a[0]), &rect)) return 1;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    const bool saved = savePng(bitmap, a[1]);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved ? 0 : 1;
}

namespace {

// A mouse event at a screen point, as the hardware would send it.
void mouse(DWORD flags, int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
    Sleep(30);
}

}  // namespace

int uiDrag(const Args& a) {
    HWND window = windowOf(a[0]);
    RECT rect = {};
    if (!GetWindowRect(window, &rect)) return 1;
    SetForegroundWindow(window);
    // A point of the caption left of its buttons.
    const int x = rect.left + 60;
    const int y = rect.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    const int dx = std::atoi(a[1].c_str()), dy = std::atoi(a[2].c_str());
    mouse(0, x, y);
    mouse(MOUSEEVENTF_LEFTDOWN, x, y);
    for (int step = 1; step <= 10; ++step) mouse(0, x + dx * step / 10, y + dy * step / 10);
    mouse(MOUSEEVENTF_LEFTUP, x + dx, y + dy);
    return 0;
}

int uiSysCommand(const Args& a) {
    return PostMessageA(windowOf(a[0]), WM_SYSCOMMAND, std::strtoul(a[1].c_str(), nullptr, 10), 0)
               ? 0
               : 1;
}

int uiPickFolder(const Args& a) {
    HWND picker = windowOf(a[0]);
    DWORD process = 0;
    GetWindowThreadProcessId(picker, &process);
    HANDLE owner = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
    if (!owner) return 1;
    // The path must be in the picker's own process for it to read.
    void* remote = VirtualAllocEx(owner, nullptr, a[1].size() + 1, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR result = 0;
    const bool sent =
        remote && WriteProcessMemory(owner, remote, a[1].c_str(), a[1].size() + 1, nullptr) &&
        SendMessageTimeoutA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, kTimeoutMs, &result);
    if (remote) VirtualFreeEx(owner, remote, 0, MEM_RELEASE);
    CloseHandle(owner);
    return sent ? 0 : 1;
}

}  // namespace vaultaide::driver
