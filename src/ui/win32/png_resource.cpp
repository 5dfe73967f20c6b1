#include "ui/win32/png_resource.h"

#include <objidl.h>
// GDI+ needs min and max from windows.h, which NOMINMAX builds do not give.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cstring>

namespace vaultaide {

namespace {

// GDI+ is started once for the process and left running until it ends.
bool startGdiplus() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

HBITMAP decode(IStream* stream) {
    if (!startGdiplus()) return nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) != Gdiplus::Ok)
        return nullptr;
    HBITMAP decoded = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap, &decoded, 0xFFFFFFFF) !=
        Gdiplus::Ok)
        decoded = nullptr;
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return decoded;
}

}  // namespace

bool loadPngResource(HBITMAP& image, int32_t id) {
    if (image) {
        DeleteObject(image);
        image = nullptr;
    }
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), "PNG");
    if (!resource) return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return false;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!copy) return true;
    if (void* target = GlobalLock(copy)) {
        std::memcpy(target, bytes, size);
        GlobalUnlock(copy);
        IStream* stream = nullptr;
        if (CreateStreamOnHGlobal(copy, FALSE, &stream) == S_OK) {
            image = decode(stream);
            stream->Release();
        }
    }
    GlobalFree(copy);
    return true;
}

}  // namespace vaultaide
