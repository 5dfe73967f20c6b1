#pragma once
// Whether a folder's owner and access list (in the system's binary form) let anyone but the
// trusted accounts hold given rights: the accounts that own the installation's folders.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vaultaide {

// Access rights, as an access list's entries carry them.
constexpr uint32_t kRightWriteData = 0x2, kRightAppendData = 0x4, kRightWriteEa = 0x10,
                   kRightDeleteChild = 0x40, kRightDelete = 0x10000, kRightWriteDac = 0x40000,
                   kRightWriteOwner = 0x80000, kRightGenericAll = 0x10000000,
                   kRightGenericWrite = 0x40000000;
// Rights that let a holder change what a folder holds or who may.
constexpr uint32_t kChangingRights = kRightWriteData | kRightAppendData | kRightWriteEa |
                                     kRightDeleteChild | kRightDelete | kRightWriteDac |
                                     kRightWriteOwner | kRightGenericWrite | kRightGenericAll;
// Rights over a folder that let a holder swap what it holds (or the folder itself) for
// something of theirs.
constexpr uint32_t kReplacingRights =
    kRightDeleteChild | kRightDelete | kRightWriteDac | kRightWriteOwner | kRightGenericAll;

struct AccessQuery {
    uint32_t rights = kChangingRights;
    // Entries that only pass down to what the folder holds count too.
    bool inherited = true;
    // Account identifiers (binary SIDs) trusted besides administrators, the system and the
    // installer service.
    std::vector<std::vector<uint8_t>> alsoTrusted;
};

// True when owner (a binary SID; null when there is none) is not trusted, when there is no
// list (acl null: everyone may do anything), or when an entry that may allow access grants any
// of the rights to an account not trusted. Entries that deny are passed over (a list read so can
// only grant more than it does), an allowing type that is not known grants, CREATOR OWNER is
// trusted only in entries that pass down, and a list or identifier that does not fit its size
// counts as granting.
bool othersHold(const uint8_t* owner, size_t ownerSize, const uint8_t* acl, size_t aclSize,
                const AccessQuery& query);

}  // namespace vaultaide
