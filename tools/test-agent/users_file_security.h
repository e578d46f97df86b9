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

#include "base/local_memory.h"

#include <string>

class UsersFileSecurity {
public:
    // Builds the descriptor for the account of the calling process's token.
    HRESULT Create() noexcept;

    // For CreateFileW; valid while this object lives.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return &m_attributes; }

    const std::wstring& Sddl() const noexcept { return m_sddl; }

private:
    LocalMemory m_descriptor;
    SECURITY_ATTRIBUTES m_attributes{};
    std::wstring m_sddl;
};

// The descriptor, as SDDL, for a writer that runs as the account userSid.
std::wstring UsersFileSddlFor(const std::wstring& userSid);
