#include "agent/agent_server_identity.h"

#include <aclapi.h>

#include "agent/agent_system_calls.h"
#include "base/local_memory.h"

namespace {

// A SID laid out as Windows lays out one with six sub-authorities, so that a constant one can be
// handed to EqualSid.
struct SixPartSid {
    BYTE revision;
    BYTE subAuthorityCount;
    SID_IDENTIFIER_AUTHORITY authority;
    DWORD subAuthority[6];
};

constexpr SixPartSid kAgentServiceSid = {
    SID_REVISION,
    6,
    SECURITY_NT_AUTHORITY,
    {kAgentServiceSidSubAuthorities[0], kAgentServiceSidSubAuthorities[1], kAgentServiceSidSubAuthorities[2],
     kAgentServiceSidSubAuthorities[3], kAgentServiceSidSubAuthorities[4], kAgentServiceSidSubAuthorities[5]},
};

}  // namespace

bool IsTrustedAgentPipeOwner(PSID owner) noexcept {
    if (owner == nullptr || !IsValidSid(owner)) {
        return false;
    }
    return IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           EqualSid(owner, const_cast<SixPartSid*>(&kAgentServiceSid));
}

bool IsTrustedAgentServer(HANDLE pipe) noexcept {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    const DWORD error = g_agentSystemCalls.getSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                                           nullptr, nullptr, nullptr, &rawDescriptor);
    // owner points into the descriptor, which must outlive the check.
    const LocalMemory descriptor(rawDescriptor);
    return error == ERROR_SUCCESS && IsTrustedAgentPipeOwner(owner);
}
