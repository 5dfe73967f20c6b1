// kernel32's GetTickCount64 exists from Windows Vista on, yet the thread library linked into the
// program (winpthreads) imports it for its timed waits. This file defines that import's address
// slot itself, pointing at a GetTickCount-based count, so the program starts on Windows XP. It
// must be linked as an object file: the slot has to be defined before the linker searches
// kernel32's import library, which would otherwise supply it.
#include <windows.h>

#include "base/tick_count.h"

namespace {

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the count must not take a lock");

std::atomic<uint64_t> tickState{0};

ULONGLONG WINAPI tickCount64() {
    return vaultaide::extendedTickCount(tickState, [] { return GetTickCount(); });
}

}  // namespace

#if defined(__i386__)
#define VAULTAIDE_TICK_COUNT64_SLOT "__imp__GetTickCount64@0"
#else
#define VAULTAIDE_TICK_COUNT64_SLOT "__imp_GetTickCount64"
#endif

extern "C" {
ULONGLONG(WINAPI* vaultaideTickCount64Slot)() __asm__(VAULTAIDE_TICK_COUNT64_SLOT) = tickCount64;
}
