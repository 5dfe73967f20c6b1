#pragma once
// PNG resources of the program decoded into GDI bitmaps.
#include <windows.h>

#include <cstdint>

namespace vaultaide {

// Frees the bitmap image holds, then decodes the "PNG" resource id of the program into it.
// False when the resource is missing; a picture that does not decode leaves image null.
bool loadPngResource(HBITMAP& image, int32_t id);

}  // namespace vaultaide
