// The exchange identifies the pipe's server by the pipe's owner and DACL before any byte of the
// request is written.
#include <windows.h>
#include <sddl.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "agent/agent_server_identity.h"
#include "base/local_memory.h"
#include "exchange_helpers.h"
#include "support/scoped_system_calls.h"

namespace {

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

// The SID of this process's account, as SDDL names it: the account a squatter of the same user
// (sandboxed or not) would give its pipe.
std::wstring OwnSidString() {
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    LPWSTR text = nullptr;
    EXPECT_TRUE(GetTokenInformation(GetCurrentProcessToken(), TokenUser, buffer, sizeof buffer, &size) &&
                ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text));
    const LocalMemory owned(text);
    return text != nullptr ? text : L"";
}

std::wstring ServiceSidString(const std::wstring& name) {
    std::wstring sid = L"S-1-5";
    for (DWORD part : ServiceSidSubAuthorities(name)) {
        sid += L"-" + std::to_wstring(part);
    }
    return sid;
}

// One exchange against an approving agent whose pipe has the given descriptor; whether it was
// approved, and whether the request reached the agent.
struct Trial {
    Outcome outcome;
    bool requestWritten;
};
Trial ExchangeWithAgent(const std::wstring& securitySddl = ScriptedAgentOptions{}.securitySddl) {
    ScriptedAgentOptions options;
    options.securitySddl = securitySddl;
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"), options);
    EXPECT_TRUE(agent.Start()) << GetLastError();
    Trial trial{Exchange(), false};
    agent.Stop();
    trial.requestWritten = !agent.Requests().empty() && !agent.Requests()[0].empty();
    return trial;
}

}  // namespace

TEST(AgentServerIdentity, ServiceSidIsDerivedFromTheServiceName) {
    EXPECT_EQ(ServiceSidSubAuthorities(L"TrustedInstaller"),
              (std::vector<DWORD>{80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u}));
    EXPECT_EQ(ServiceSidSubAuthorities(L"qm-agent"),
              std::vector<DWORD>(std::begin(kAgentServiceSidSubAuthorities), std::end(kAgentServiceSidSubAuthorities)));
}

// Wine keeps whatever owner and DACL a pipe is created with, so every row runs the real look-up
// on a real pipe; on Windows only the account itself (or an elevated administrator, for BA) could
// set the owner, and any account the DACL lets in could add an instance under it.
TEST(AgentServerIdentity, OnlyAPipeOwnedAndGuardedByTrustedAccountsGetsTheRequest) {
    const std::wstring service = ServiceSidString(L"qm-agent");
    const std::wstring sound = kSoundAgentPipeDacl;
    struct Row {
        const char* what;
        std::wstring sddl;
        bool trusted;
    };
    const Row rows[] = {
        {"owned by LocalSystem", L"O:SY" + sound, true},
        {"owned by the Administrators", L"O:BA" + sound, true},
        {"owned by the qm-agent service, which has full access", L"O:" + service + L"D:P(A;;GA;;;" + service + L")(A;;0x0012019B;;;IU)", true},
        {"network logons denied everything", L"O:SYD:P(D;;GA;;;NU)(A;;FA;;;SY)(A;;0x0012019B;;;IU)", true},
        {"owned by this process's own account (a same-user squatter)", L"O:" + OwnSidString() + sound, false},
        {"owned by another user", L"O:S-1-5-21-1-2-3-1001" + sound, false},
        {"owned by LocalService", L"O:LS" + sound, false},
        {"owned by Everyone", L"O:WD" + sound, false},
        {"owned by another service", L"O:" + ServiceSidString(L"qm-agent-squatter") + sound, false},
        {"no owner (no descriptor)", L"", false},
        {"no DACL at all", L"O:SY", false},
        {"Everyone full access", L"O:SYD:P(A;;GA;;;SY)(A;;FA;;;WD)", false},
        {"Users generic write", L"O:SYD:P(A;;GA;;;SY)(A;;GW;;;BU)", false},
        {"authenticated users create-instance", L"O:SYD:P(A;;GA;;;SY)(A;;0x00000004;;;AU)", false},
        {"interactive users WRITE_DAC", L"O:SYD:P(A;;GA;;;SY)(A;;0x00060000;;;IU)", false},
        {"interactive users WRITE_OWNER", L"O:SYD:P(A;;GA;;;SY)(A;;0x00080000;;;IU)", false},
        {"a deny entry does not cancel an allow", L"O:SYD:P(D;;GA;;;WD)(A;;GA;;;SY)(A;;GW;;;WD)", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Trial trial = ExchangeWithAgent(row.sddl);
        if (row.trusted) {
            EXPECT_EQ(trial.outcome.result.status, AgentAuthApproved);
            EXPECT_TRUE(trial.requestWritten);
        } else {
            ExpectNoVerdict(trial.outcome, E_ACCESSDENIED, L"qm-agent pipe server not trusted");
            EXPECT_FALSE(trial.requestWritten);
        }
    }
}

// What Wine cannot make on a real pipe: a security that cannot be read (Windows would say why),
// and a NULL DACL, which Wine hands back as an empty one. Nothing is sent to either.
TEST(AgentServerIdentity, AnUnreadableSecurityOrANullDaclIsRefused) {
    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->getSecurityInfo = [](HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                PSECURITY_DESCRIPTOR*) -> DWORD { return ERROR_ACCESS_DENIED; };
    Trial trial = ExchangeWithAgent();
    ExpectNoVerdict(trial.outcome, E_ACCESSDENIED, L"qm-agent pipe server not trusted");
    EXPECT_FALSE(trial.requestWritten);

    calls->getSecurityInfo = [](HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION information, PSID* owner, PSID*,
                                PACL* dacl, PACL*, PSECURITY_DESCRIPTOR* descriptor) -> DWORD {
        EXPECT_EQ(information, static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
        static BYTE system[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof system;
        CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size);
        *owner = system;
        *dacl = nullptr;
        *descriptor = LocalAlloc(LMEM_FIXED, 1);
        return ERROR_SUCCESS;
    };
    trial = ExchangeWithAgent();
    ExpectNoVerdict(trial.outcome, E_ACCESSDENIED, L"qm-agent pipe server not trusted");
    EXPECT_FALSE(trial.requestWritten);
}

// Allow entries of the types Wine's SDDL parser cannot write, laid out by hand: each lets
// Everyone in, so each makes the pipe untrusted.
TEST(AgentServerIdentity, EveryAllowTypeCounts) {
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
    struct Row {
        const char* what;
        BYTE type;
        DWORD bytesBeforeSid;  // after the header and the mask
    };
    const Row rows[] = {
        {"callback", ACCESS_ALLOWED_CALLBACK_ACE_TYPE, 0},
        {"object, no GUIDs", ACCESS_ALLOWED_OBJECT_ACE_TYPE, 4},
        {"callback object, no GUIDs", ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE, 4},
        {"compound", ACCESS_ALLOWED_COMPOUND_ACE_TYPE, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        alignas(DWORD) BYTE buffer[256] = {};
        auto* acl = reinterpret_cast<ACL*>(buffer);
        ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION_DS));
        std::vector<BYTE> entry(sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + row.bytesBeforeSid + sidSize);
        auto* header = reinterpret_cast<ACE_HEADER*>(entry.data());
        header->AceType = row.type;
        header->AceSize = static_cast<WORD>(entry.size());
        const ACCESS_MASK mask = FILE_CREATE_PIPE_INSTANCE;
        std::memcpy(entry.data() + sizeof(ACE_HEADER), &mask, sizeof mask);
        std::memcpy(entry.data() + sizeof(ACE_HEADER) + sizeof mask + row.bytesBeforeSid, everyone, sidSize);
        ASSERT_TRUE(AddAce(acl, ACL_REVISION_DS, MAXDWORD, entry.data(), static_cast<DWORD>(entry.size())))
            << GetLastError();
        EXPECT_FALSE(IsTrustedAgentPipeSecurity(system, acl));
    }
}
