#include "platform/win32/win32_platform.h"

#include "platform/win32/scoped_handle.h"

namespace vaultaide {

namespace {

// The program is a 32-bit one; the default view is the 32-bit view in every build, so the
// 64-bit test build reads and writes where the shipping program does.
REGSAM viewFlag(RegistryView view) {
    return view == RegistryView::View64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}

    bool queryString(const std::string& name, std::string& value, size_t maxBytes) override {
        // Room for a terminator the stored value may or may not carry.
        std::string buffer(maxBytes + 1, '\0');
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0;
        if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
            return false;
        buffer.resize(size);
        const auto zero = buffer.find('\0');
        if (zero != std::string::npos) buffer.resize(zero);
        if (buffer.size() > maxBytes) return false;
        value = buffer;
        return true;
    }

    bool setString(const std::string& name, const std::string& value) override {
        // RegSetValueExA, like NT, stores a terminator the count leaves out when a zero byte
        // follows the data. A non-zero byte after the text keeps the stored length at the
        // text's length.
        std::string data = value + '\x01';
        return RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
    }

    bool deleteValue(const std::string& name) override {
        return RegDeleteValueA(key_.get(), name.c_str()) == ERROR_SUCCESS;
    }

    bool flush() override { return RegFlushKey(key_.get()) == ERROR_SUCCESS; }

private:
    ScopedKey key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::openKey(const std::string& path, uint32_t access,
                                                    RegistryView view) {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | viewFlag(view),
                      key.receive()) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key.release());
}

std::unique_ptr<RegistryKey> Win32Registry::createKey(const std::string& path, uint32_t access,
                                                      RegistryView view) {
    ScopedKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access | viewFlag(view), nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key.release());
}

}  // namespace vaultaide
