#pragma once
// The progress dialog's bars: a common progress bar painted by the program, a green pattern
// (bitmap 148) over a dark trough.
#include <windows.h>

namespace vaultaide {

class CMyProgress {
public:
    // Takes over the painting of a progress bar control.
    void attach(HWND control);

private:
    static LRESULT CALLBACK paintingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    static void paint(HWND window);
};

}  // namespace vaultaide
