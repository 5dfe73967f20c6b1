#include "ui/win32/my_progress.h"

#include <commctrl.h>

#include "ui/progress_bar.h"

namespace vaultaide {

namespace {

constexpr COLORREF kTroughColour = RGB(128, 119, 122);
constexpr int kFillBitmapId = 148;

// The fill pattern, made once: a bar repaints after every position a download reports.
HBRUSH fillBrush() {
    static const HBRUSH brush = [] {
        HBITMAP pattern = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFillBitmapId));
        HBRUSH made = CreatePatternBrush(pattern);
        DeleteObject(pattern);  // the brush keeps its own copy
        return made;
    }();
    return brush;
}

}  // namespace

void CMyProgress::attach(HWND control) { SetWindowSubclass(control, paintingProc, 1, 0); }

LRESULT CALLBACK CMyProgress::paintingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR) {
    if (message == WM_PAINT) {
        paint(window);
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, paintingProc, 1);
    return DefSubclassProc(window, message, wParam, lParam);
}

void CMyProgress::paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client = {};
    GetClientRect(window, &client);
    HBRUSH trough = CreateSolidBrush(kTroughColour);
    FillRect(dc, &client, trough);
    const auto low = static_cast<int32_t>(SendMessageA(window, PBM_GETRANGE, TRUE, 0));
    const auto high = static_cast<int32_t>(SendMessageA(window, PBM_GETRANGE, FALSE, 0));
    const auto position = static_cast<int32_t>(SendMessageA(window, PBM_GETPOS, 0, 0));
    RECT fill = client;
    fill.right = client.left + barFillWidth(client.right - client.left, low, high, position);
    SetBrushOrgEx(dc, client.left, client.top, nullptr);
    if (fill.right > fill.left) FillRect(dc, &fill, fillBrush());
    DeleteObject(trough);
    EndPaint(window, &ps);
}

}  // namespace vaultaide
