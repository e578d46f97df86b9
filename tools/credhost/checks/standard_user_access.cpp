#include "standard_user_access.h"

#include "base/allowing_ace.h"

namespace {

constexpr WELL_KNOWN_SID_TYPE kStandardUserGroups[] = {
    WinWorldSid,         WinLocalSid,        WinConsoleLogonSid, WinInteractiveSid,
    WinAuthenticatedUserSid, WinThisOrganizationSid, WinBuiltinUsersSid,
};

bool IsStandardUserGroup(PSID account) {
    for (const WELL_KNOWN_SID_TYPE group : kStandardUserGroups) {
        if (IsWellKnownSid(account, group)) {
            return true;
        }
    }
    return false;
}

ACCESS_MASK Mapped(ACCESS_MASK mask, const GENERIC_MAPPING& mapping) {
    GENERIC_MAPPING copy = mapping;
    MapGenericMask(&mask, &copy);
    return mask;
}

// A denying entry that applies to the object itself and to the modelled token, with its mask;
// false for any other entry. Only the plain and callback forms carry their SID right after the
// mask; an object form is taken as denying everyone.
bool ReadsAsDenyForStandardUser(const ACL* dacl, DWORD index, ACCESS_MASK& mask) {
    void* raw = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), index, &raw)) {
        return false;
    }
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    const bool plain = header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE;
    const bool object = header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
                        header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
    if ((!plain && !object) || (header->AceFlags & INHERIT_ONLY_ACE) != 0 ||
        header->AceSize < sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)) {
        return false;
    }
    mask = reinterpret_cast<const ACCESS_DENIED_ACE*>(header)->Mask;
    if (object) {
        return true;
    }
    const auto* entry = reinterpret_cast<const ACCESS_DENIED_ACE*>(header);
    PSID account = const_cast<DWORD*>(&entry->SidStart);
    const DWORD sidRoom = header->AceSize - (sizeof(ACE_HEADER) + sizeof(ACCESS_MASK));
    if (sidRoom < 8 || !IsValidSid(account) || GetLengthSid(account) > sidRoom) {
        return true;
    }
    return IsStandardUserGroup(account);
}

}  // namespace

bool StandardUserGetsAccess(const ACL* dacl, ACCESS_MASK desired, const GENERIC_MAPPING& mapping) {
    if (dacl == nullptr) {
        return true;
    }
    const ACCESS_MASK wanted = Mapped(desired, mapping);
    ACCESS_MASK granted = 0;
    for (DWORD index = 0; index < dacl->AceCount && granted != wanted; ++index) {
        ACCESS_MASK denied = 0;
        if (ReadsAsDenyForStandardUser(dacl, index, denied) && (Mapped(denied, mapping) & wanted & ~granted) != 0) {
            return false;
        }
        const AceGrantEntry entry = ReadAceGrant(dacl, index);
        if (entry.grant == AceGrant::Allows && !entry.compound && IsStandardUserGroup(entry.account)) {
            granted |= Mapped(entry.mask, mapping) & wanted;
        }
    }
    return granted == wanted;
}
