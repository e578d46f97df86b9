#include "agent/agent_server_identity.h"

#include <memory>
#include <new>

#include "agent/agent_system_calls.h"
#include "base/kernel_handle.h"

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

// A TOKEN_USER with room for the longest SID, aligned for the pointer it starts with.
union TokenUserBuffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool ReadTokenUser(HANDLE token, TokenUserBuffer& buffer) noexcept {
    DWORD needed = 0;
    return g_agentSystemCalls.getTokenInformation(token, TokenUser, &buffer, sizeof buffer, &needed) != FALSE;
}

// Whether the token's enabled groups hold the qm-agent service SID. A group kept for deny-only
// checks grants nothing, so it does not count.
bool HoldsAgentServiceSid(HANDLE token) noexcept {
    DWORD needed = 0;
    if (g_agentSystemCalls.getTokenInformation(token, TokenGroups, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(TOKEN_GROUPS)) {
        return false;
    }
    // operator new aligns for any fundamental type, as TOKEN_GROUPS needs.
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (!buffer || !g_agentSystemCalls.getTokenInformation(token, TokenGroups, buffer.get(), needed, &needed)) {
        return false;
    }
    const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    PSID serviceSid = const_cast<SixPartSid*>(&kAgentServiceSid);
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const DWORD attributes = groups->Groups[i].Attributes;
        const bool grants = (attributes & SE_GROUP_ENABLED) != 0 && (attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
        if (grants && EqualSid(groups->Groups[i].Sid, serviceSid)) {
            return true;
        }
    }
    return false;
}

// The account check on the server's token. LocalSystem is checked first, then this process's
// own account (read through the current-process token pseudo-handle, which needs no opening),
// and the groups only when neither matched: the usual sign-in never reads them.
bool IsTrustedToken(HANDLE token) noexcept {
    TokenUserBuffer server;
    if (!ReadTokenUser(token, server)) {
        return false;
    }
    if (IsWellKnownSid(server.user.User.Sid, WinLocalSystemSid)) {
        return true;
    }
    TokenUserBuffer own;
    if (ReadTokenUser(GetCurrentProcessToken(), own) && EqualSid(server.user.User.Sid, own.user.User.Sid)) {
        return true;
    }
    return HoldsAgentServiceSid(token);
}

}  // namespace

bool IsTrustedAgentServer(HANDLE pipe) noexcept {
    ULONG serverProcessId = 0;
    if (!g_agentSystemCalls.getNamedPipeServerProcessId(pipe, &serverProcessId)) {
        return false;
    }
    KernelHandle process(g_agentSystemCalls.openProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverProcessId));
    HANDLE rawToken = nullptr;
    if (!process || !g_agentSystemCalls.openProcessToken(process.Get(), TOKEN_QUERY, &rawToken)) {
        return false;
    }
    KernelHandle token(rawToken);
    return IsTrustedToken(token.Get());
}
