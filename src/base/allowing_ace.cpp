#include "base/allowing_ace.h"

namespace {

constexpr DWORD kHeaderAndMask = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

// Where an allowing entry's (first) SID starts, which depends on its type; zero for a type that
// allows nothing.
DWORD SidOffsetOfAllowingEntry(const ACE_HEADER* header) noexcept {
    switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            return kHeaderAndMask;
        case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
            return kHeaderAndMask + 2 * sizeof(USHORT);  // the compound type and a reserved word
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
            if (header->AceSize < kHeaderAndMask + sizeof(DWORD)) {
                return header->AceSize;  // too short for its flags: no SID fits after them
            }
            const DWORD flags = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header)->Flags;
            DWORD offset = kHeaderAndMask + sizeof(DWORD);
            offset += (flags & ACE_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
            offset += (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
            return offset;
        }
        default:
            return 0;
    }
}

// The entry's SID when one lies wholly inside the entry, else null.
PSID SidInsideEntry(const ACE_HEADER* header, DWORD offset) noexcept {
    constexpr DWORD kSidHeader = 8;
    if (offset + kSidHeader > header->AceSize) {
        return nullptr;
    }
    PSID sid = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(header) + offset);
    const DWORD length = kSidHeader + sizeof(DWORD) * static_cast<const SID*>(sid)->SubAuthorityCount;
    if (offset + length > header->AceSize || !IsValidSid(sid)) {
        return nullptr;
    }
    return sid;
}

}  // namespace

AceGrantEntry ReadAceGrant(const ACL* dacl, DWORD index) noexcept {
    AceGrantEntry entry;
    void* raw = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), index, &raw)) {
        entry.grant = AceGrant::Unreadable;
        entry.mask = GENERIC_ALL;
        return entry;
    }
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    const DWORD sidOffset = SidOffsetOfAllowingEntry(header);
    if (sidOffset == 0 || (header->AceFlags & INHERIT_ONLY_ACE) != 0 || header->AceSize < kHeaderAndMask) {
        return entry;
    }
    entry.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
    entry.account = SidInsideEntry(header, sidOffset);
    entry.compound = header->AceType == ACCESS_ALLOWED_COMPOUND_ACE_TYPE;
    entry.grant = entry.account != nullptr ? AceGrant::Allows : AceGrant::Unreadable;
    return entry;
}
