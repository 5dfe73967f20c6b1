#include "platform/access_list.h"

#include <algorithm>
#include <cstring>

namespace vaultaide {

namespace {

// Entry types and flags of the binary form.
constexpr uint8_t kAllowed = 0x0, kDenied = 0x1, kAllowedObject = 0x5, kDeniedObject = 0x6,
                  kAllowedCallback = 0x9, kDeniedCallback = 0xA, kAllowedCallbackObject = 0xB,
                  kDeniedCallbackObject = 0xC;
constexpr uint8_t kInheritOnly = 0x08;
constexpr uint32_t kObjectTypePresent = 0x1, kInheritedObjectTypePresent = 0x2;
constexpr size_t kAclHeader = 8, kAceHeader = 4, kGuidSize = 16;

// S-1-5-32-544, S-1-5-18, S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
const uint8_t kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const uint8_t kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const uint8_t kInstaller[] = {1,    6,    0,    0,    0,    0,    0,    5,    80,   0,    0,
                              0,    0xB5, 0x89, 0xFB, 0x38, 0x19, 0x84, 0xC2, 0xCB, 0x5C, 0x6C,
                              0x23, 0x6D, 0x57, 0x00, 0x77, 0x6E, 0xC0, 0x02, 0x64, 0x87};
// S-1-3-0: stands for whoever creates what the entry passes down to.
const uint8_t kCreatorOwner[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};

uint16_t read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint32_t read32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// The length of the identifier at sid, or 0 when it does not fit size.
size_t sidLength(const uint8_t* sid, size_t size) {
    if (size < 8 || sid[0] != 1 || sid[1] > 15) return 0;
    const size_t length = 8 + 4u * sid[1];
    return length <= size ? length : 0;
}

template <size_t N>
bool same(const uint8_t* sid, size_t length, const uint8_t (&known)[N]) {
    return length == N && std::memcmp(sid, known, N) == 0;
}

bool trusted(const uint8_t* sid, size_t length, const AccessQuery& query) {
    if (same(sid, length, kAdministrators) || same(sid, length, kSystem) ||
        same(sid, length, kInstaller))
        return true;
    return std::any_of(query.alsoTrusted.begin(), query.alsoTrusted.end(), [&](const auto& other) {
        return other.size() == length && std::memcmp(other.data(), sid, length) == 0;
    });
}

// Whether the entry at ace (size bytes) grants rights to an account not trusted.
bool entryGrants(const uint8_t* ace, size_t size, const AccessQuery& query) {
    const uint8_t type = ace[0], flags = ace[1];
    if (type == kDenied || type == kDeniedObject || type == kDeniedCallback ||
        type == kDeniedCallbackObject)
        return false;
    if (!query.inherited && (flags & kInheritOnly)) return false;
    // Audit, alarm, label and policy entries grant nothing; any other type may.
    const bool known = type == kAllowed || type == kAllowedCallback || type == kAllowedObject ||
                       type == kAllowedCallbackObject;
    if (!known && type >= 0x2 && type <= 0x15 && type != 0x4) return false;
    if (size < kAceHeader + 4) return true;
    if (!(read32(ace + kAceHeader) & query.rights)) return false;
    if (!known) return true;
    size_t sidAt = kAceHeader + 4;
    if (type == kAllowedObject || type == kAllowedCallbackObject) {
        if (size < sidAt + 4) return true;
        const uint32_t objectFlags = read32(ace + sidAt);
        sidAt += 4 + (objectFlags & kObjectTypePresent ? kGuidSize : 0) +
                 (objectFlags & kInheritedObjectTypePresent ? kGuidSize : 0);
    }
    if (size < sidAt) return true;
    const size_t length = sidLength(ace + sidAt, size - sidAt);
    if (length == 0) return true;
    if (same(ace + sidAt, length, kCreatorOwner)) return !(flags & kInheritOnly);
    return !trusted(ace + sidAt, length, query);
}

}  // namespace

bool othersHold(const uint8_t* owner, size_t ownerSize, const uint8_t* acl, size_t aclSize,
                const AccessQuery& query) {
    const size_t ownerLength = owner ? sidLength(owner, ownerSize) : 0;
    if (ownerLength == 0 || !trusted(owner, ownerLength, query)) return true;
    if (!acl || aclSize < kAclHeader) return true;
    const size_t end = read16(acl + 2);
    if (end < kAclHeader || end > aclSize) return true;
    size_t at = kAclHeader;
    for (uint16_t index = 0, count = read16(acl + 4); index < count; ++index) {
        if (end - at < kAceHeader) return true;
        const size_t size = read16(acl + at + 2);
        if (size < kAceHeader || size > end - at) return true;
        if (entryGrants(acl + at, size, query)) return true;
        at += size;
    }
    return false;
}

}  // namespace vaultaide
