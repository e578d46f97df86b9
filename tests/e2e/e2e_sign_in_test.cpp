// The whole sign-in as Windows runs it, across three processes: credhost.exe plays the sign-in
// screen and loads the registered qm-credprovider.dll through COM, the DLL asks test-agent.exe
// over the real agent pipe, and the test reads what credhost reports.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "provider_class_id.h"
#include "support/child_process.h"
#include "support/kerberos_logon_reader.h"
#include "support/test_agent_process.h"
#include "support/wait_for.h"
#include "utf8_conversion.h"

#include <string>

namespace {

constexpr char kDemoPassword[] = "e2e-Pass\xC3\xA9word 42";  // UTF-8, 16 characters
constexpr size_t kDemoPasswordCharacters = 16;
constexpr DWORD kRunTimeoutMs = 60000;

std::string ComputerName() { return Utf8FromWide(LocalComputerName()); }

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_directory = CreateTestFolder(L"qm-e2e");
        const ProcessResult added = TestAgentProcess(Agent(), s_directory)
                                        .AddUser(
                                            L"--user demo --full-name \"Demo User\" --email demo@example.test"
                                            L" --iterations 2000",
                                            kDemoPassword);
        ASSERT_EQ(added.exitCode, 0u) << added.output;
        const ProcessResult registered = RunProcess(L"regsvr32 /s " + Quoted(Dll()), "", kRunTimeoutMs);
        ASSERT_EQ(registered.exitCode, 0u) << registered.output;
    }

    static void TearDownTestSuite() {
        RunProcess(L"regsvr32 /s /u " + Quoted(Dll()), "", kRunTimeoutMs);
        RemoveTestFolder(s_directory);
    }

    static std::wstring Dll() { return WindowsPathOf(QM_E2E_DLL); }
    static std::wstring Credhost() { return WindowsPathOf(QM_E2E_CREDHOST); }
    static std::wstring Agent() { return WindowsPathOf(QM_E2E_TEST_AGENT); }
    void StartAgent(const std::wstring& options = L"") { ASSERT_TRUE(m_agent.Start(options)); }

    // The agent logs a request just after its reply is written, so the line may lag the client.
    std::string WaitForAgentLog(const std::string& text) const {
        WaitFor([&] { return m_agent.Log().find(text) != std::string::npos; }, 5000);
        return m_agent.Log();
    }

    static ProcessResult SignIn(const std::wstring& provider, const std::wstring& arguments,
                                const std::string& password) {
        return RunProcess(Quoted(Credhost()) + L" signin " + Quoted(provider) + L" " + arguments, password + "\n",
                          kRunTimeoutMs);
    }

    TestAgentProcess m_agent{Agent(), s_directory};
    static std::wstring s_directory;
};

std::wstring EndToEnd::s_directory;

TEST_F(EndToEnd, ApprovedSignInCarriesTheAgentsAccountAndTheComputerName) {
    StartAgent();
    // Signing in by email: the agent answers with the account name, which the logon must carry.
    const ProcessResult result = SignIn(kProviderClsidText, L"--user DEMO@example.test", kDemoPassword);
    ASSERT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_NE(result.output.find("Signed in"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("package Kerberos (1)"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("user name     \"demo\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("domain        \"" + ComputerName() + "\""), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(std::to_string(kDemoPasswordCharacters) + " characters, not shown"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("ReportResult(0x00000000) returned 0x00000000 (S_OK)"), std::string::npos);
    EXPECT_EQ(result.output.find(kDemoPassword), std::string::npos) << "credhost printed the password";

    const std::string log = WaitForAgentLog("user=\"DEMO@example.test\" verdict=OK");
    EXPECT_NE(log.find("user=\"DEMO@example.test\" verdict=OK"), std::string::npos) << log;
    EXPECT_EQ(log.find(kDemoPassword), std::string::npos) << "the agent logged the password";
}

TEST_F(EndToEnd, ProviderLoadedFromItsDllPathSignsInLikeThroughCom) {
    StartAgent();
    const ProcessResult result = SignIn(Dll(), L"--user demo --scenario unlock", kDemoPassword);
    ASSERT_EQ(result.exitCode, 0u) << result.output;
    EXPECT_NE(result.output.find("user name     \"demo\""), std::string::npos) << result.output;
    // After the host released everything, the DLL must count no live object.
    EXPECT_EQ(result.output.find("DllCanUnloadNow still answers S_FALSE"), std::string::npos) << result.output;
}

TEST_F(EndToEnd, RefusalShowsTheAgentsReasonOnTheTile) {
    StartAgent();
    const ProcessResult result = SignIn(kProviderClsidText, L"--user demo", "wrong password");
    EXPECT_EQ(result.exitCode, 1u) << result.output;
    EXPECT_NE(result.output.find("Refused: \"Invalid username or password.\", icon error"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Serialization"), std::string::npos);
}

TEST_F(EndToEnd, UnreachableAgentIsReportedWithoutACredential) {
    const ProcessResult result = SignIn(kProviderClsidText, L"--user demo", kDemoPassword);
    EXPECT_EQ(result.exitCode, 1u) << result.output;
    EXPECT_NE(result.output.find("\"qm-agent unreachable (pipe timeout)\", icon error"), std::string::npos)
        << result.output;
}

TEST_F(EndToEnd, AgentThatNeverAnswersIsCutOffByTheBoundedRead) {
    StartAgent(L" --no-answer");
    const ProcessResult result = SignIn(kProviderClsidText, L"--user demo", kDemoPassword);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1u) << result.output;
    EXPECT_NE(result.output.find("\"qm-agent pipe read failed\", icon error"), std::string::npos) << result.output;
    // The module gives up after its 10 s read bound, not before and not much after.
    EXPECT_GE(result.milliseconds, 9500u);
    EXPECT_LT(result.milliseconds, 40000u);
    EXPECT_NE(WaitForAgentLog("verdict=NO ANSWER").find("verdict=NO ANSWER (would be OK)"), std::string::npos);
}

TEST_F(EndToEnd, JsonOutputDescribesApprovalAndRefusal) {
    StartAgent();
    const ProcessResult approved = SignIn(kProviderClsidText, L"--user demo --json", kDemoPassword);
    ASSERT_EQ(approved.exitCode, 0u) << approved.output;
    const nlohmann::json outcome = nlohmann::json::parse(approved.output);
    EXPECT_EQ(outcome["outcome"], "signed_in");
    EXPECT_EQ(outcome["get_serialization"]["response"], "CPGSR_RETURN_CREDENTIAL_FINISHED");
    const nlohmann::json& serialization = outcome["serialization"];
    EXPECT_EQ(serialization["package_name"], "Kerberos");
    EXPECT_EQ(serialization["provider"], Utf8FromWide(kProviderClsidText));
    EXPECT_EQ(serialization["message_type"], 2);
    EXPECT_EQ(serialization["domain"]["text"], ComputerName());
    EXPECT_EQ(serialization["domain"]["offset"], 64);
    EXPECT_EQ(serialization["user_name"]["text"], "demo");
    EXPECT_EQ(serialization["password"]["characters"], kDemoPasswordCharacters);
    EXPECT_FALSE(serialization["password"].contains("text"));
    EXPECT_EQ(serialization["size"], 64 + 2 * (ComputerName().size() + 4 + kDemoPasswordCharacters));
    EXPECT_EQ(outcome["report_result"]["status_text"], nullptr);

    const ProcessResult refused = SignIn(kProviderClsidText, L"--user demo --json", "nope");
    EXPECT_EQ(refused.exitCode, 1u);
    const nlohmann::json refusal = nlohmann::json::parse(refused.output);
    EXPECT_EQ(refusal["outcome"], "refused");
    EXPECT_EQ(refusal["get_serialization"]["status_text"], "Invalid username or password.");
    EXPECT_EQ(refusal["get_serialization"]["status_icon"], "error");
    EXPECT_FALSE(refusal.contains("serialization"));
}

// Unlock needs KerbWorkstationUnlockLogon, and a 32-bit program's credential prompt (the flag
// CREDUIWIN_PACK_32_WOW) the 32-bit layout, whose bodies start at 36. No LogonUI under Wine would
// refuse a wrong form, so what the DLL packed is read back as credhost decodes it.
TEST_F(EndToEnd, EachScenarioGetsTheLogonFormItNeeds) {
    StartAgent();
    struct Row {
        std::wstring arguments;
        int messageType;
        std::string layout;
        size_t headerSize;
    };
    const Row rows[] = {
        {L"--scenario logon", 2, "64-bit", 64},
        {L"--scenario unlock", 7, "64-bit", 64},
        {L"--scenario credui --flags 0x1", 2, "64-bit", 64},
        {L"--scenario credui --flags 0x10000000", 2, "32-bit", 36},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8FromWide(row.arguments));
        const ProcessResult result = SignIn(kProviderClsidText, L"--user demo --json " + row.arguments, kDemoPassword);
        ASSERT_EQ(result.exitCode, 0u) << result.output;
        const nlohmann::json serialization = nlohmann::json::parse(result.output)["serialization"];
        EXPECT_EQ(serialization["decoded"], true) << result.output;
        EXPECT_EQ(serialization["message_type"], row.messageType);
        EXPECT_EQ(serialization["layout"], row.layout);
        EXPECT_EQ(serialization["domain"]["offset"], row.headerSize);
        EXPECT_EQ(serialization["user_name"]["text"], "demo");
        EXPECT_EQ(serialization["size"], row.headerSize + 2 * (ComputerName().size() + 4 + kDemoPasswordCharacters));
    }
    const ProcessResult text = SignIn(kProviderClsidText, L"--user demo --scenario unlock", kDemoPassword);
    EXPECT_NE(text.output.find("message type  7 (KerbWorkstationUnlockLogon)"), std::string::npos) << text.output;
}

TEST_F(EndToEnd, CredhostExitCodesTellUsageErrorsFromProviderFailures) {
    EXPECT_EQ(RunProcess(Quoted(Credhost()) + L" signin " + kProviderClsidText, "", kRunTimeoutMs).exitCode, 2u)
        << "--user is required";
    EXPECT_EQ(RunProcess(Quoted(Credhost()) + L" signin {not-a-guid} --user demo", "x\n", kRunTimeoutMs).exitCode, 2u);
    EXPECT_EQ(RunProcess(Quoted(Credhost()) + L" signin " + kProviderClsidText + L" --user demo --password x", "",
                         kRunTimeoutMs)
                  .exitCode,
              2u);
    const ProcessResult unregistered = RunProcess(
        Quoted(Credhost()) + L" signin {00000000-1111-2222-3333-444444444444} --user demo", "x\n", kRunTimeoutMs);
    EXPECT_EQ(unregistered.exitCode, 3u) << unregistered.output;
    EXPECT_NE(unregistered.output.find("Provider failure: CoCreateInstance"), std::string::npos) << unregistered.output;
}

TEST_F(EndToEnd, ShowPrintsTheTileAndListFindsTheRegistration) {
    const ProcessResult listed = RunProcess(Quoted(Credhost()) + L" list --json", "", kRunTimeoutMs);
    ASSERT_EQ(listed.exitCode, 0u) << listed.output;
    bool found = false;
    const nlohmann::json list = nlohmann::json::parse(listed.output);
    for (const nlohmann::json& provider : list["providers"]) {
        found = found || provider["clsid"] == Utf8FromWide(kProviderClsidText);
    }
    EXPECT_TRUE(found) << listed.output;

    const ProcessResult shown =
        RunProcess(Quoted(Credhost()) + L" show " + kProviderClsidText + L" --json", "", kRunTimeoutMs);
    ASSERT_EQ(shown.exitCode, 0u) << shown.output;
    const nlohmann::json tile = nlohmann::json::parse(shown.output)["tiles"][0];
    ASSERT_EQ(tile["fields"].size(), 5u);
    EXPECT_EQ(tile["fields"][1]["label"], "Username or email");
    EXPECT_EQ(tile["fields"][1]["interactive_state"], "focused");
    EXPECT_EQ(tile["fields"][2]["type"], "password text");
    EXPECT_EQ(tile["fields"][3]["adjacent_to"], 2);
    EXPECT_EQ(tile["fields"][4]["value"], "Quillmere");
}

}  // namespace
