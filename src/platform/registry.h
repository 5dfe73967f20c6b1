#pragma once
// HKEY_LOCAL_MACHINE keys in the 32-bit or 64-bit view.
#include <cstdint>
#include <memory>
#include <string>

namespace vaultaide {

constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyRead = 0x20019;
constexpr size_t kRegistryValueBytes = 260;

enum class RegistryView { Default, View32, View64 };

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // A REG_SZ value of at most maxBytes bytes (a terminating zero not counted); false when it
    // is missing, unreadable or longer.
    virtual bool queryString(const std::string& name, std::string& value,
                             size_t maxBytes = kRegistryValueBytes) = 0;
    // Writes REG_SZ without a terminating zero.
    virtual bool setString(const std::string& name, const std::string& value) = 0;
    virtual bool deleteValue(const std::string& name) = 0;
    // Writes the key's changes to the disk before returning.
    virtual bool flush() = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Null when the key is missing or the access is refused.
    virtual std::unique_ptr<RegistryKey> openKey(const std::string& path, uint32_t access,
                                                 RegistryView view = RegistryView::Default) = 0;
    virtual std::unique_ptr<RegistryKey> createKey(const std::string& path, uint32_t access,
                                                   RegistryView view = RegistryView::Default) = 0;
};

}  // namespace vaultaide
