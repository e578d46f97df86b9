// The security descriptor of the agent pipe.
// - The owner is one the module trusts: LocalSystem (SY) when the agent runs as LocalSystem, its
//   own service SID when it runs under the virtual account NT SERVICE\qm-agent, and otherwise the
//   Administrators (BA), which Windows lets only an elevated administrator set (CreateNamedPipeW
//   then fails with ERROR_INVALID_OWNER).
// - LocalSystem and the Administrators get full access, and so does the service SID when the
//   agent runs under the virtual account: the agent needs FILE_CREATE_PIPE_INSTANCE for its
//   further instances. No other account gets it, the agent's own included when it is neither:
//   any unelevated process of that account could otherwise add instances of the name.
// - Interactive users get read, write-data and write-attributes (0x0012019B) and nothing else, so
//   that a standard user's credential prompt can connect but cannot add instances of the name.
// - Network logons are denied outright (on top of PIPE_REJECT_REMOTE_CLIENTS). The DACL is
//   protected: nothing is inherited from a parent.
#pragma once

#include <windows.h>

#include <string>

#include "account_security.h"

// The descriptor, as SDDL, for an agent that runs as the account userSid.
std::wstring PipeSecuritySddlFor(const std::wstring& userSid);

class PipeSecurity : public AccountSecurity {
public:
    PipeSecurity() noexcept : AccountSecurity(PipeSecuritySddlFor) {}
};
