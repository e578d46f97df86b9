// The security descriptor of the agent pipe: only LocalSystem, the Administrators group and the
// account the agent runs as may open it, and network logons are denied outright (on top of
// PIPE_REJECT_REMOTE_CLIENTS). The DACL is protected: nothing is inherited from a parent.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

struct LocalFreeDeleter {
    void operator()(void* block) const noexcept { LocalFree(block); }
};

class PipeSecurity {
public:
    // Builds the descriptor for the account of the calling process's token.
    HRESULT Create() noexcept;

    // For CreateNamedPipeW; valid while this object lives.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return &m_attributes; }

    // The descriptor as SDDL, for the log and for tests.
    const std::wstring& Sddl() const noexcept { return m_sddl; }

private:
    std::unique_ptr<void, LocalFreeDeleter> m_descriptor;
    SECURITY_ATTRIBUTES m_attributes{};
    std::wstring m_sddl;
};

// The SID of the calling process's user, as a string ("S-1-5-21-...").
HRESULT CurrentUserSidString(std::wstring& sid) noexcept;
