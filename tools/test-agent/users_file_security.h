// The security descriptor a users file is written with. The file decides whom the agent approves,
// so it must not take what its folder would hand down (a folder under C:\ProgramData lets every
// user create files): its DACL is protected and explicit.
// - LocalSystem and the Administrators get full access.
// - NT SERVICE\qm-agent gets read access, so that the service under the virtual account can load
//   the file, and full access when the writer is that account itself (its SID read from the
//   process token).
// - No one else gets anything. The owner is left to Windows: the writer's token's default owner
//   (the Administrators for an elevated administrator, as for LocalSystem).
#pragma once

#include <windows.h>

#include "account_security.h"

#include <string>

// The descriptor, as SDDL, for a writer that runs as the account userSid.
std::wstring UsersFileSddlFor(const std::wstring& userSid);

class UsersFileSecurity : public AccountSecurity {
public:
    UsersFileSecurity() noexcept : AccountSecurity(UsersFileSddlFor) {}
};
