#include "platform/win32/win32_platform.h"

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
    ~Win32RegistryKey() override { RegCloseKey(key_); }

    bool queryString(const std::string& name, std::string& value, size_t maxBytes) override {
        // Room for a terminator the stored value may or may not carry.
        std::string buffer(maxBytes + 1, '\0');
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type,
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
        return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.data()),
                              static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
    }

    bool deleteValue(const std::string& name) override {
        return RegDeleteValueA(key_, name.c_str()) == ERROR_SUCCESS;
    }

private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::openKey(const std::string& path, uint32_t access,
                                                    RegistryView view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | viewFlag(view), &key) !=
        ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

std::unique_ptr<RegistryKey> Win32Registry::createKey(const std::string& path, uint32_t access,
                                                      RegistryView view) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access | viewFlag(view), nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(key);
}

}  // namespace vaultaide
