#pragma once
// One owner for every kind of Win32 handle: closed exactly once, on every path out of the scope
// that opened it. Traits name the handle type, its empty values and how it is closed.
#include <objbase.h>
#include <windows.h>
#include <wininet.h>

#include <utility>

namespace vaultaide {

template <typename Traits>
class Scoped {
public:
    using Handle = typename Traits::Handle;

    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    ~Scoped() { reset(); }
    Scoped(Scoped&& other) noexcept : handle_(other.release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::valid(handle_); }
    // For calls that return the handle through a pointer; any earlier handle is closed first.
    Handle* receive() {
        reset();
        return &handle_;
    }
    Handle release() { return std::exchange(handle_, Traits::empty()); }
    void reset(Handle handle = Traits::empty()) {
        if (Traits::valid(handle_)) Traits::close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::empty();
};

// Kernel objects: files, processes, snapshots, pipes. Some calls report failure with null,
// others with INVALID_HANDLE_VALUE; both mean "no handle".
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { InternetCloseHandle(h); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { RegCloseKey(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(Handle h) { return h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { FindClose(h); }
};

// COM interface pointers, released once.
template <typename Interface>
struct ComTraits {
    using Handle = Interface*;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { h->Release(); }
};

// Memory the shell allocates for the caller, such as folder items.
template <typename Pointer>
struct TaskMemTraits {
    using Handle = Pointer;
    static Handle empty() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { CoTaskMemFree(h); }
};

using ScopedHandle = Scoped<KernelHandleTraits>;
using ScopedInternet = Scoped<InternetHandleTraits>;
using ScopedKey = Scoped<RegistryKeyTraits>;
using ScopedFind = Scoped<FindHandleTraits>;
template <typename Interface>
using ScopedCom = Scoped<ComTraits<Interface>>;

}  // namespace vaultaide
