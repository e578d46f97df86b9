// What credhost says when it hands the provider's credential to Windows, for every answer that
// LSA documents, and what the real tools say under Wine, whose LSA gives no token.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "credential_provider_names.h"
#include "lsa_logon_calls.h"
#include "provider_class_id.h"
#include "sign_in_run.h"
#include "support/child_process.h"
#include "support/scoped_system_calls.h"
#include "support/scripted_agent.h"

#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
const HANDLE kFakeLsa = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7A10));
const HANDLE kFakeToken = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7A20));
constexpr wchar_t kTokenSid[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

// What the fake LSA answers, and what it saw.
struct FakeLsa {
    NTSTATUS connectStatus = 0;
    NTSTATUS status = 0;
    NTSTATUS subStatus = 0;
    bool token = false;
    // Seen:
    SECURITY_LOGON_TYPE logonType = UndefinedLogonType;
    ULONG package = 0;
    std::vector<unsigned char> buffer;
    std::string origin;
    std::string sourceName;
    bool tokenClosed = false;
    bool deregistered = false;
    bool profileFreed = false;
};
FakeLsa g_fake;
char g_profile[16];

NTSTATUS NTAPI FakeConnect(PHANDLE lsa) {
    *lsa = g_fake.connectStatus == 0 ? kFakeLsa : nullptr;
    return g_fake.connectStatus;
}

NTSTATUS NTAPI FakeLogonUser(HANDLE, PLSA_STRING origin, SECURITY_LOGON_TYPE type, ULONG package, PVOID buffer,
                             ULONG size, PTOKEN_GROUPS, PTOKEN_SOURCE source, PVOID* profile, PULONG profileLength,
                             PLUID, PHANDLE token, PQUOTA_LIMITS, PNTSTATUS subStatus) {
    g_fake.logonType = type;
    g_fake.package = package;
    g_fake.buffer.assign(static_cast<unsigned char*>(buffer), static_cast<unsigned char*>(buffer) + size);
    g_fake.origin.assign(origin->Buffer, origin->Length);
    g_fake.sourceName.assign(source->SourceName, strnlen(source->SourceName, TOKEN_SOURCE_LENGTH));
    *profile = g_profile;
    *profileLength = sizeof(g_profile);
    *token = g_fake.token ? kFakeToken : nullptr;
    *subStatus = g_fake.subStatus;
    return g_fake.status;
}

NTSTATUS NTAPI FakeFreeReturnBuffer(PVOID buffer) {
    g_fake.profileFreed = g_fake.profileFreed || buffer == g_profile;
    return 0;
}

NTSTATUS NTAPI FakeDeregister(HANDLE lsa) {
    g_fake.deregistered = lsa == kFakeLsa;
    return 0;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
    g_fake.tokenClosed = handle == kFakeToken;
    return TRUE;
}

BOOL WINAPI FakeGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD size,
                                    PDWORD needed) {
    PSID sid = nullptr;
    if (token != kFakeToken || kind != TokenUser || !ConvertStringSidToSidW(kTokenSid, &sid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD sidSize = GetLengthSid(sid);
    *needed = sizeof(TOKEN_USER) + sidSize;
    if (buffer == nullptr || size < *needed) {
        LocalFree(sid);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* user = static_cast<TOKEN_USER*>(buffer);
    user->User.Sid = reinterpret_cast<unsigned char*>(buffer) + sizeof(TOKEN_USER);
    user->User.Attributes = 0;
    CopySid(sidSize, user->User.Sid, sid);
    LocalFree(sid);
    return TRUE;
}

BOOL WINAPI FakeLookupAccountSid(LPCWSTR, PSID, LPWSTR name, LPDWORD nameLength, LPWSTR domain,
                                 LPDWORD domainLength, PSID_NAME_USE use) {
    wcscpy_s(name, *nameLength, L"alice");
    wcscpy_s(domain, *domainLength, L"QMTEST");
    *use = SidTypeUser;
    return TRUE;
}

SignInRun SignInWithLogon() {
    ProviderTarget target;
    std::wstring error;
    EXPECT_TRUE(ResolveProviderTarget(WindowsPathOf(QM_LOGON_DLL), kProviderClsidText, target, error)) << error.c_str();
    CredhostCommand command;
    command.verb = CredhostVerb::SignIn;
    command.userName = L"alice";
    command.hasUserName = true;
    command.logon = true;
    const wchar_t password[] = L"Correct-Horse-7";
    return RunSignInWithPassword(command, target, SecretWide(password, password + ARRAYSIZE(password)));
}

// Every LSA call of the logon answered by the fake above, for the scope's life.
class FakeLsaCalls {
public:
    FakeLsaCalls() {
        m_calls->connectUntrusted = FakeConnect;
        m_calls->logonUser = FakeLogonUser;
        m_calls->freeReturnBuffer = FakeFreeReturnBuffer;
        m_calls->deregisterLogonProcess = FakeDeregister;
        m_calls->closeHandle = FakeCloseHandle;
        m_calls->getTokenInformation = FakeGetTokenInformation;
        m_calls->lookupAccountSid = FakeLookupAccountSid;
    }

private:
    ScopedSystemCalls<LsaLogonCalls> m_calls{g_lsaLogonCalls};
};

}  // namespace

TEST(CredhostLogon, EveryAnswerOfLsaHasItsLineItsJsonAndItsExitCode) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"alice"})"));
    ASSERT_TRUE(agent.Start());
    const FakeLsaCalls calls;

    struct Case {
        NTSTATUS connectStatus;
        NTSTATUS status;
        NTSTATUS subStatus;
        bool token;
        int exitCode;
        const char* outcome;
        const char* line;  // in the text report
        const char* statusName;
        const char* subStatusName;  // null: no sub-status line
    };
    // One row a branch of the report; which name each code carries is the status table's business.
    const Case cases[] = {
        {0, 0, 0, true, 0, "accepted",
         "Windows logon: accepted, as QMTEST\\alice (S-1-5-21-1004336348-1177238915-682003330-1001)", "STATUS_SUCCESS",
         nullptr},
        {0, 0, 0, false, 4, "not_verified", "Windows logon: not verified: LsaLogonUser answered 0x00000000", "STATUS_SUCCESS",
         nullptr},
        {0, static_cast<NTSTATUS>(0xC000006D), 0, false, 1, "refused",
         "refused: 0xC000006D (STATUS_LOGON_FAILURE): the user name or the password is wrong", "STATUS_LOGON_FAILURE",
         nullptr},
        {0, static_cast<NTSTATUS>(0xC000006E), static_cast<NTSTATUS>(0xC0000071), false, 1, "refused",
         "sub-status 0xC0000071 (STATUS_PASSWORD_EXPIRED): the password has expired", "STATUS_ACCOUNT_RESTRICTION",
         "STATUS_PASSWORD_EXPIRED"},
        {static_cast<NTSTATUS>(0xC0000022), 0, 0, false, 4, "not_verified",
         "Windows logon: not verified: LsaConnectUntrusted failed with 0xC0000022 (STATUS_ACCESS_DENIED)",
         "STATUS_ACCESS_DENIED", nullptr},
    };
    for (const Case& c : cases) {
        g_fake = FakeLsa{};
        g_fake.connectStatus = c.connectStatus;
        g_fake.status = c.status;
        g_fake.subStatus = c.subStatus;
        g_fake.token = c.token;
        const SignInRun run = SignInWithLogon();
        SCOPED_TRACE(c.line);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.text;
        EXPECT_NE(run.text.find(c.line), std::string::npos) << run.text;
        EXPECT_EQ(run.text.find("sub-status") != std::string::npos, c.subStatusName != nullptr) << run.text;
        const nlohmann::json json = nlohmann::json::parse(run.json);
        EXPECT_EQ(json["outcome"], "signed_in");
        const nlohmann::json& logon = json["windows_logon"];
        EXPECT_EQ(logon["outcome"], c.outcome);
        EXPECT_EQ(logon["status"]["name"], c.statusName);
        EXPECT_EQ(logon["token"], c.token);
        if (c.connectStatus != 0) {
            EXPECT_EQ(logon["failed_step"], "LsaConnectUntrusted");
            EXPECT_TRUE(g_fake.buffer.empty()) << "no logon without a connection";
            continue;
        }
        EXPECT_EQ(logon["sub_status"]["name"], c.subStatusName != nullptr ? c.subStatusName : "STATUS_SUCCESS");
        // The tile hears what LSA answered, as the sign-in screen tells it.
        char reported[16];
        std::snprintf(reported, sizeof(reported), "0x%08lX", static_cast<unsigned long>(c.status));
        EXPECT_EQ(json["report_result"]["status"], reported);
        if (c.token) {
            EXPECT_EQ(logon["account"], "QMTEST\\alice");
            EXPECT_TRUE(g_fake.tokenClosed);
        }
        // LSA got the serialization exactly as the tile returned it, as an interactive logon
        // with credhost's own names, and everything it handed back was released.
        EXPECT_EQ(g_fake.logonType, Interactive);
        EXPECT_EQ(g_fake.package, json["serialization"]["package"].get<ULONG>());
        EXPECT_EQ(g_fake.buffer.size(), json["serialization"]["size"].get<size_t>());
        ASSERT_GE(g_fake.buffer.size(), 4u);
        EXPECT_EQ(g_fake.buffer[0], 2) << "KerbInteractiveLogon";
        EXPECT_EQ(g_fake.origin, "credhost");
        EXPECT_EQ(g_fake.sourceName, "credhost");
        EXPECT_TRUE(g_fake.profileFreed);
        EXPECT_TRUE(g_fake.deregistered);
    }
}

// Every documented refusal reaches the tester by name with its plain sentence, and exits 1.
TEST(CredhostLogon, EveryDocumentedRefusalIsNamed) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"alice"})"));
    ASSERT_TRUE(agent.Start());
    const FakeLsaCalls calls;
    const struct {
        ULONG status;
        ULONG subStatus;
        const char* named;
    } refusals[] = {
        {0xC000006D, 0xC0000064, "(STATUS_NO_SUCH_USER): no such account"},
        {0xC000006D, 0xC000006A, "(STATUS_WRONG_PASSWORD): the password is wrong"},
        {0xC000006E, 0xC0000072, "(STATUS_ACCOUNT_DISABLED): the account is disabled"},
        {0xC000006E, 0xC000006F, "(STATUS_INVALID_LOGON_HOURS): the account may not log on at this time of day"},
        {0xC000006E, 0xC0000070, "(STATUS_INVALID_WORKSTATION): the account may not log on at this computer"},
        {0xC000006E, 0xC0000224, "(STATUS_PASSWORD_MUST_CHANGE): the password must be changed"},
        {0xC0000234, 0, "(STATUS_ACCOUNT_LOCKED_OUT): the account is locked out"},
        {0xC00000A7, 0, "(STATUS_BAD_VALIDATION_CLASS): the authentication package does not recognise"},
        {0xC000000D, 0, "(STATUS_INVALID_PARAMETER): the authentication package does not accept the buffer"},
        {0xC00000FE, 0, "(STATUS_NO_SUCH_PACKAGE): no authentication package"},
        {0xC0000022, 0, "(STATUS_ACCESS_DENIED): this caller may not"},
        {0xC0000061, 0, "(STATUS_PRIVILEGE_NOT_HELD): the caller lacks"},
    };
    for (const auto& refusal : refusals) {
        g_fake = FakeLsa{};
        g_fake.status = static_cast<NTSTATUS>(refusal.status);
        g_fake.subStatus = static_cast<NTSTATUS>(refusal.subStatus);
        const SignInRun run = SignInWithLogon();
        EXPECT_EQ(run.exitCode, 1) << run.text;
        EXPECT_NE(run.text.find(refusal.named), std::string::npos) << run.text;
    }
}

TEST(CredhostLogon, TheRealToolsUnderWineNeverClaimWhatWineCannotShow) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"alice"})"));
    ASSERT_TRUE(agent.Start());
    const std::wstring credhost = Quoted(WindowsPathOf(QM_CREDHOST));
    const std::wstring signIn = credhost + L" signin " + Quoted(WindowsPathOf(QM_LOGON_DLL)) + L" --clsid " +
                                kProviderClsidText + L" --user alice --logon";
    struct Case {
        std::wstring commandLine;
        std::string input;
        DWORD exitCode;
        const char* line;
    };
    const Case cases[] = {
        // Wine's LsaLogonUser answers success with no token: not a logon.
        {signIn, "Correct-Horse-7\n", 4, "Windows logon: not verified: LsaLogonUser answered 0x00000000 (STATUS_SUCCESS) but gave no token"},
        {signIn + L" --scenario credui", "Correct-Horse-7\n", 4, "Windows logon: not verified"},
        {signIn + L" --scenario unlock", "Correct-Horse-7\n", 4, "Windows logon: not verified"},
        // Wine's credential prompt is a stub.
        {credhost + L" prompt --logon", "", 3, "No credential prompt: CredUIPromptForWindowsCredentialsW answered 120"},
        // An empty pipe is no password at all; a bare line break is an empty one, typed on purpose.
        {signIn, "", 2, "no password was given"},
        {signIn + L" --report-status 0xC000006D", "x\n", 2, "--logon reports LSA's own answer"},
        {credhost + L" --version", "", 0, "credhost " QM_PRODUCT_VERSION},
        {credhost + L" doctor --help", "", 0, "Usage:\n  credhost doctor [--json]"},
        {Quoted(WindowsPathOf(QM_TEST_AGENT)) + L" --version", "", 0, "test-agent " QM_PRODUCT_VERSION},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunProcess(c.commandLine, c.input, kRunTimeoutMs);
        std::string output = result.output;
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
        EXPECT_EQ(result.exitCode, c.exitCode) << c.line << "\n" << output;
        EXPECT_NE(output.find(c.line), std::string::npos) << output;
    }
    const ProcessResult emptyLine = RunProcess(signIn, "\n", kRunTimeoutMs);
    EXPECT_EQ(emptyLine.output.find("no password was given"), std::string::npos) << emptyLine.output;
    EXPECT_NE(emptyLine.exitCode, 2u) << emptyLine.output;
}

TEST(CredhostLogon, AnNtStatusWrappedAsAnHresultIsNamed) {
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0xD0000001)), "0xD0000001 (STATUS_UNSUCCESSFUL)");
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0xD000006D)), "0xD000006D (STATUS_LOGON_FAILURE)");
    EXPECT_EQ(HResultText(static_cast<HRESULT>(0xD0001234)), "0xD0001234");
}
