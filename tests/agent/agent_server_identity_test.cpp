// The exchange identifies the pipe's server before any byte of the request is written. Under
// Wine every process runs as one account, so other accounts and failing look-ups come through
// the agent's system-call table.
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <vector>

#include "agent/agent_server_identity.h"
#include "exchange_helpers.h"
#include "support/scoped_system_calls.h"

namespace {

using SidBytes = std::vector<BYTE>;

// NT SERVICE\<name>: S-1-5-80 and the five little-endian words of the SHA-1 of the upper-cased
// name in UTF-16LE. Derived here with CryptoAPI, independently of the module's constant.
std::vector<DWORD> ServiceSidSubAuthorities(const std::wstring& name) {
    std::wstring upper = name;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[20] = {};
    DWORD digestSize = sizeof digest;
    const bool hashed = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                        CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
                        CryptHashData(hash, reinterpret_cast<const BYTE*>(upper.data()),
                                      static_cast<DWORD>(upper.size() * sizeof(wchar_t)), 0) &&
                        CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0);
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    EXPECT_TRUE(hashed) << GetLastError();
    std::vector<DWORD> parts = {80};
    for (int word = 0; word < 5; ++word) {
        DWORD value = 0;
        std::memcpy(&value, digest + 4 * word, 4);  // x86-64 is little-endian, as the SID wants
        parts.push_back(value);
    }
    return parts;
}

SidBytes NtSid(const std::vector<DWORD>& parts) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    SidBytes sid(GetSidLengthRequired(static_cast<UCHAR>(parts.size())));
    InitializeSid(sid.data(), &nt, static_cast<BYTE>(parts.size()));
    for (size_t i = 0; i < parts.size(); ++i) {
        *GetSidSubAuthority(sid.data(), static_cast<DWORD>(i)) = parts[i];
    }
    return sid;
}

// What the faked server token holds: its user, and its groups with their attributes.
struct ServerToken {
    SidBytes user;
    std::vector<std::pair<SidBytes, DWORD>> groups;
};
ServerToken g_serverToken;

// Lays out count SID_AND_ATTRIBUTES after headerSize bytes, then the SIDs, as Windows does.
BOOL WriteSidsAndAttributes(const std::vector<std::pair<SidBytes, DWORD>>& entries, size_t headerSize, void* out,
                            DWORD size, PDWORD needed) {
    size_t total = headerSize + entries.size() * sizeof(SID_AND_ATTRIBUTES);
    for (const auto& entry : entries) {
        total += entry.first.size();
    }
    *needed = static_cast<DWORD>(total);
    if (out == nullptr || size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    BYTE* bytes = static_cast<BYTE*>(out);
    auto* array = reinterpret_cast<SID_AND_ATTRIBUTES*>(bytes + headerSize);
    BYTE* next = bytes + headerSize + entries.size() * sizeof(SID_AND_ATTRIBUTES);
    for (size_t i = 0; i < entries.size(); ++i) {
        std::memcpy(next, entries[i].first.data(), entries[i].first.size());
        array[i] = {next, entries[i].second};
        next += entries[i].first.size();
    }
    return TRUE;
}

// The module's own token is read for real; any other is the faked server's.
BOOL WINAPI FakeServerTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID out, DWORD size,
                                       PDWORD needed) {
    if (token == GetCurrentProcessToken()) {
        return GetTokenInformation(token, kind, out, size, needed);
    }
    if (kind == TokenUser) {
        return WriteSidsAndAttributes({{g_serverToken.user, 0}}, 0, out, size, needed);
    }
    if (kind == TokenGroups) {
        const BOOL written =
            WriteSidsAndAttributes(g_serverToken.groups, offsetof(TOKEN_GROUPS, Groups), out, size, needed);
        if (written) {
            static_cast<TOKEN_GROUPS*>(out)->GroupCount = static_cast<DWORD>(g_serverToken.groups.size());
        }
        return written;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// One exchange against an approving agent; whether it was approved, and whether the request
// reached the agent.
struct Trial {
    Outcome outcome;
    bool requestWritten;
};
Trial ExchangeWithAgent() {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    EXPECT_TRUE(agent.Start()) << GetLastError();
    Trial trial{Exchange(), false};
    agent.Stop();
    EXPECT_EQ(agent.Requests().size(), 1u);
    trial.requestWritten = !agent.Requests().empty() && !agent.Requests()[0].empty();
    return trial;
}

void ExpectRefusedUnwritten(const Trial& trial) {
    ExpectNoVerdict(trial.outcome, E_ACCESSDENIED, L"qm-agent pipe server not trusted");
    EXPECT_FALSE(trial.requestWritten);
}

}  // namespace

TEST(AgentServerIdentity, ServiceSidIsDerivedFromTheServiceName) {
    EXPECT_EQ(ServiceSidSubAuthorities(L"TrustedInstaller"),
              (std::vector<DWORD>{80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}));
    EXPECT_EQ(ServiceSidSubAuthorities(L"qm-agent"),
              std::vector<DWORD>(std::begin(kAgentServiceSidSubAuthorities), std::end(kAgentServiceSidSubAuthorities)));
}

TEST(AgentServerIdentity, OnlyTrustedAccountsGetTheRequest) {
    const SidBytes localSystem = NtSid({SECURITY_LOCAL_SYSTEM_RID});
    const SidBytes otherUser = NtSid({21, 1, 2, 3, 1001});
    const SidBytes agentService = NtSid(ServiceSidSubAuthorities(L"qm-agent"));
    const SidBytes otherService = NtSid(ServiceSidSubAuthorities(L"qm-agent-squatter"));
    struct Row {
        const char* server;
        ServerToken token;
        bool trusted;
    };
    const Row rows[] = {
        {"LocalSystem", {localSystem, {}}, true},
        {"the qm-agent service",
         {otherUser, {{otherService, SE_GROUP_ENABLED}, {agentService, SE_GROUP_ENABLED}}},
         true},
        {"another account", {otherUser, {{otherService, SE_GROUP_ENABLED}}}, false},
        {"qm-agent's SID, disabled", {otherUser, {{agentService, 0}}}, false},
        {"qm-agent's SID, deny-only",
         {otherUser, {{agentService, SE_GROUP_ENABLED | SE_GROUP_USE_FOR_DENY_ONLY}}},
         false},
    };

    // The same account as this process: the real token, as in every other exchange under Wine.
    Trial sameAccount = ExchangeWithAgent();
    EXPECT_EQ(sameAccount.outcome.result.status, AgentAuthApproved);
    EXPECT_TRUE(sameAccount.requestWritten);

    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->getTokenInformation = FakeServerTokenInformation;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        g_serverToken = row.token;
        const Trial trial = ExchangeWithAgent();
        if (row.trusted) {
            EXPECT_EQ(trial.outcome.result.status, AgentAuthApproved);
            EXPECT_TRUE(trial.requestWritten);
        } else {
            ExpectRefusedUnwritten(trial);
        }
    }
}

TEST(AgentServerIdentity, AServerThatCannotBeIdentifiedIsRefused) {
    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->getNamedPipeServerProcessId = [](HANDLE, PULONG) -> BOOL {
        return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    };
    ExpectRefusedUnwritten(ExchangeWithAgent());
    *calls = calls.Real();

    calls->openProcess = [](DWORD, BOOL, DWORD) -> HANDLE {
        return SetLastError(ERROR_ACCESS_DENIED), nullptr;
    };
    ExpectRefusedUnwritten(ExchangeWithAgent());
    *calls = calls.Real();

    calls->openProcessToken = [](HANDLE, DWORD, PHANDLE) -> BOOL {
        return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    };
    ExpectRefusedUnwritten(ExchangeWithAgent());
    *calls = calls.Real();

    calls->getTokenInformation = [](HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) -> BOOL {
        return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    };
    ExpectRefusedUnwritten(ExchangeWithAgent());
}
