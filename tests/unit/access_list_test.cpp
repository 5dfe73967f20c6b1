// Which owners and access lists leave a folder open to others: only administrators, the system
// and the installer service are trusted, whatever kind of entry grants, and a list that does not
// read whole counts as open.
#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/access_list.h"

namespace vaultaide {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes sid(uint8_t authority, std::initializer_list<uint32_t> parts) {
    Bytes bytes = {1, static_cast<uint8_t>(parts.size()), 0, 0, 0, 0, 0, authority};
    for (uint32_t part : parts)
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back((part >> shift) & 0xFF);
    return bytes;
}

void put16(Bytes& bytes, size_t at, size_t value) {
    bytes[at] = value & 0xFF;
    bytes[at + 1] = (value >> 8) & 0xFF;
}

void append32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back((value >> shift) & 0xFF);
}

// An entry; objectFlags >= 0 makes it an object entry with the GUIDs those flags name.
Bytes ace(uint8_t type, uint8_t flags, uint32_t mask, const Bytes& who, int objectFlags = -1) {
    Bytes bytes = {type, flags, 0, 0};
    append32(bytes, mask);
    if (objectFlags >= 0) {
        append32(bytes, static_cast<uint32_t>(objectFlags));
        const int guids = (objectFlags & 1) + (objectFlags >> 1 & 1);
        bytes.insert(bytes.end(), 16 * guids, 0xAB);
    }
    bytes.insert(bytes.end(), who.begin(), who.end());
    put16(bytes, 2, bytes.size());
    return bytes;
}

Bytes acl(std::initializer_list<Bytes> entries) {
    Bytes bytes = {2, 0, 0, 0, 0, 0, 0, 0};
    for (const Bytes& entry : entries) bytes.insert(bytes.end(), entry.begin(), entry.end());
    put16(bytes, 2, bytes.size());
    put16(bytes, 4, entries.size());
    return bytes;
}

TEST(AccessList, OnlyTheTrustedAccountsMayChangeAClosedFolder) {
    const Bytes admins = sid(5, {32, 544}), system = sid(5, {18}), users = sid(5, {32, 545}),
                installer = sid(5, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}),
                creatorOwner = sid(3, {0}), user = sid(5, {21, 1, 2, 3, 1001}),
                everyone = sid(1, {0});
    constexpr uint32_t kFull = 0x1F01FF, kReadExecute = 0x1200A9, kModify = 0x1301BF;
    constexpr uint8_t kPassedDown = 0x3, kInheritOnly = 0x0B;  // OICI, OICIIO
    const Bytes closed =
        acl({ace(0, kPassedDown, kFull, admins), ace(0, kPassedDown, kFull, system),
             ace(0, kPassedDown, kReadExecute, users)});
    AccessQuery change, replace, withUser;
    replace.rights = kReplacingRights;
    replace.inherited = false;
    withUser.alsoTrusted = {user};
    const struct {
        const char* what;
        Bytes owner;  // empty: none
        Bytes list;   // empty: none
        AccessQuery query;
        bool open;
    } cases[] = {
        {"protected list", admins, closed, change, false},
        {"owned by the system", system, closed, change, false},
        {"owned by the installer service", installer, closed, change, false},
        {"owned by a user", user, closed, change, true},
        {"no owner", {}, closed, change, true},
        {"no list", admins, {}, change, true},
        {"users may write", admins, acl({ace(0, 0, 0x2, users)}), change, true},
        {"the user's own entry", admins, acl({ace(0, kPassedDown, kFull, user)}), change, true},
        {"the user trusted where asked", user, acl({ace(0, 0, kFull, user)}), withUser, false},
        {"installer service", admins, acl({ace(0, 0, kFull, installer)}), change, false},
        {"creator owner passed down", admins, acl({ace(0, kInheritOnly, kFull, creatorOwner)}),
         change, false},
        {"creator owner on the folder", admins, acl({ace(0, 0, kFull, creatorOwner)}), change,
         true},
        {"denying entries", admins, acl({ace(1, 0, kFull, everyone), ace(6, 0, kFull, users, 0)}),
         change, false},
        {"object entry for users", admins, acl({ace(5, 0, kModify, users, 3)}), change, true},
        {"object entry for administrators", admins, acl({ace(5, 0, kFull, admins, 3)}), change,
         false},
        {"object entry, one GUID", admins, acl({ace(11, 0, kModify, users, 2)}), change, true},
        {"callback entry", admins, acl({ace(9, 0, 0x40, users)}), change, true},
        {"unknown allowing type", admins, acl({ace(0x30, 0, kFull, admins)}), change, true},
        {"compound entry", admins, acl({ace(4, 0, kFull, admins)}), change, true},
        {"audit and label entries", admins,
         acl({ace(2, 0, kFull, users), ace(0x11, 0, 0x1, sid(16, {12288}))}), change, false},
        {"reading only", admins, acl({ace(0, 0, kReadExecute, everyone)}), change, false},
        {"passed down to what it holds", admins, acl({ace(0, kInheritOnly, kModify, users)}),
         change, true},
        {"passed down, asked for the folder only", admins,
         acl({ace(0, kInheritOnly, kModify, users)}), replace, false},
        {"adding files does not replace", admins, acl({ace(0, 0, 0x6, users)}), replace, false},
        {"removing entries does", admins, acl({ace(0, 0, 0x40, users)}), replace, true},
        {"changing the list does", admins, acl({ace(0, 0, 0x40000, users)}), replace, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(othersHold(c.owner.empty() ? nullptr : c.owner.data(), c.owner.size(),
                             c.list.empty() ? nullptr : c.list.data(), c.list.size(), c.query),
                  c.open)
            << c.what;

    // Whatever does not read whole counts as open.
    Bytes cut = acl({ace(0, 0, kReadExecute, users)});
    const Bytes shortOwner(admins.begin(), admins.end() - 1);
    EXPECT_TRUE(
        othersHold(shortOwner.data(), shortOwner.size(), closed.data(), closed.size(), change));
    EXPECT_TRUE(othersHold(admins.data(), admins.size(), cut.data(), cut.size() - 1, change));
    Bytes header = acl({ace(0, 0, kReadExecute, users)});
    put16(header, 2, 4);  // a list claiming to end inside its own header
    EXPECT_TRUE(othersHold(admins.data(), admins.size(), header.data(), 8, change));
    put16(cut, 10, 64);  // the entry's size past the list's end
    EXPECT_TRUE(othersHold(admins.data(), admins.size(), cut.data(), cut.size(), change));
    cut = acl({ace(0, 0, kFull, admins)});
    EXPECT_FALSE(othersHold(admins.data(), admins.size(), cut.data(), cut.size(), change));
    cut[9 + 8] = 15;  // an identifier claiming more parts than the entry holds
    EXPECT_TRUE(othersHold(admins.data(), admins.size(), cut.data(), cut.size(), change));
}

}  // namespace
}  // namespace vaultaide
