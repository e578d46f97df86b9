#include "agent/agent_server_identity.h"

#include <aclapi.h>

#include "agent/agent_system_calls.h"
#include "base/allowing_ace.h"
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

bool IsTrustedAgentAccount(PSID account) noexcept {
    if (account == nullptr || !IsValidSid(account)) {
        return false;
    }
    return IsWellKnownSid(account, WinLocalSystemSid) || IsWellKnownSid(account, WinBuiltinAdministratorsSid) ||
           EqualSid(account, const_cast<SixPartSid*>(&kAgentServiceSid));
}

bool FindUntrustedAgentPipeGrant(const ACL* dacl, DWORD& index, PSID& grantee) noexcept {
    for (; dacl != nullptr && index < dacl->AceCount; ++index) {
        const AceGrantEntry entry = ReadAceGrant(dacl, index);
        if (entry.grant == AceGrant::None || (entry.mask & kAgentPipeInstanceRights) == 0) {
            continue;
        }
        if (entry.grant == AceGrant::Unreadable || entry.compound || !IsTrustedAgentAccount(entry.account)) {
            grantee = entry.account;
            return true;
        }
    }
    return false;
}

bool IsTrustedAgentPipeSecurity(PSID owner, const ACL* dacl) noexcept {
    DWORD index = 0;
    PSID grantee = nullptr;
    return IsTrustedAgentAccount(owner) && dacl != nullptr && !FindUntrustedAgentPipeGrant(dacl, index, grantee);
}

bool IsTrustedAgentServer(HANDLE pipe) noexcept {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    const DWORD error =
        g_agentSystemCalls.getSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &rawDescriptor);
    // owner and dacl point into the descriptor, which must outlive the check.
    const LocalMemory descriptor(rawDescriptor);
    return error == ERROR_SUCCESS && IsTrustedAgentPipeSecurity(owner, dacl);
}
