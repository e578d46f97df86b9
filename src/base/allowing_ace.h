// Reading one entry of a DACL as "what it allows, and to whom", for the rules that ask who may
// do what to an object: the agent pipe's trust rule and credhost doctor's checks. Every
// allow type counts (plain, callback, object, callback-object, compound), because Windows grants
// access through each of them; reading only the plain type would pass a DACL that lets someone
// in through another.
#pragma once

#include <windows.h>

enum class AceGrant {
    None,        // a deny or audit entry, or one that applies only to the object's children
    Allows,      // an allowing entry that applies to the object: mask and account are set
    Unreadable,  // an allowing entry whose account cannot be read, or an entry that cannot be
                 // read at all: treat it as allowing anything to anyone
};

struct AceGrantEntry {
    AceGrant grant = AceGrant::None;
    ACCESS_MASK mask = 0;
    PSID account = nullptr;  // inside the DACL; for a compound entry, its server account
    bool compound = false;   // an account acting for another: never to be taken as trusted
};

// The entry at index (below dacl->AceCount) of a non-null DACL.
AceGrantEntry ReadAceGrant(const ACL* dacl, DWORD index) noexcept;
