// The whole sign-in through the tile, against the scripted agent on the real agent pipe.
#include "tile/credential_tile.h"

#include <gtest/gtest.h>
#include <ntsecapi.h>
#include <wincred.h>

#include <cstring>
#include <string>

#include "agent/agent_system_calls.h"
#include "logon/kerberos_logon_packer.h"
#include "provider/credential_provider.h"
#include "provider_class_id.h"
#include "support/kerberos_logon_reader.h"
#include "support/scoped_system_calls.h"
#include "support/scripted_agent.h"
#include "tile/tile_test_support.h"

namespace {

const std::wstring kTypedUser = L"bob";
const std::wstring kTypedPassword = L"Tr0ub4dor&3";
const std::string kTypedRequest = R"({"action":"AUTH","username":"bob","password":"Tr0ub4dor&3"})";

// One GetSerialization call and everything it handed out. The outputs start as patterns, so an
// output that the call does not write is seen as such; the block and the text are freed here.
struct Submission {
    HRESULT hr;
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response =
        static_cast<CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE>(77);
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization;
    std::wstring statusText;  // "<null>" when none was handed out
    CREDENTIAL_PROVIDER_STATUS_ICON icon = static_cast<CREDENTIAL_PROVIDER_STATUS_ICON>(77);

    explicit Submission(CQMCredentialTile& tile) {
        memset(&serialization, 0xA5, sizeof(serialization));
        PWSTR text = reinterpret_cast<PWSTR>(0x1);
        hr = tile.GetSerialization(&response, &serialization, &text, &icon);
        statusText = TakeString(text);
    }
    ~Submission() {
        if (response == CPGSR_RETURN_CREDENTIAL_FINISHED) {
            CoTaskMemFree(serialization.rgbSerialization);
        }
    }
    Submission(const Submission&) = delete;
    Submission& operator=(const Submission&) = delete;

    bool SerializationUntouched() const {
        CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION pattern;
        memset(&pattern, 0xA5, sizeof(pattern));
        return memcmp(&pattern, &serialization, sizeof(pattern)) == 0;
    }

    PackedLogon Logon() const { return ReadPackedLogon(serialization.rgbSerialization, serialization.cbSerialization); }
};

// No serialization, the given text with the given icon.
void ExpectNoCredential(const Submission& submission, const std::wstring& text, CREDENTIAL_PROVIDER_STATUS_ICON icon,
                        HRESULT hr = S_OK) {
    EXPECT_EQ(hr, submission.hr);
    EXPECT_EQ(CPGSR_NO_CREDENTIAL_NOT_FINISHED, submission.response);
    EXPECT_EQ(text, submission.statusText);
    EXPECT_EQ(icon, submission.icon);
    EXPECT_TRUE(submission.SerializationUntouched());
}

class SignInSubmission : public ::testing::Test {
protected:
    void SetUp() override {
        MallocSpy::Get().Mark();
        m_tile = NewTile();
    }

    void TearDown() override {
        m_tile.reset();
        EXPECT_EQ(0u, MallocSpy::Get().OutstandingSinceMark());
    }

    void Type(const std::wstring& user, const std::wstring& password) {
        m_tile->SetStringValue(FieldUserName, user.c_str());
        m_tile->SetStringValue(FieldPassword, password.c_str());
    }

    // Submits twice to an agent that answers every connection with behaviour, and checks that
    // the first submission left the tile's values as they were: the second request is the same.
    // Returns the agent's requests.
    std::vector<std::string> SubmitTwiceTo(ScriptedAgent& agent, const std::function<void(const Submission&)>& check) {
        EXPECT_TRUE(agent.Start()) << GetLastError();
        for (int i = 0; i < 2; ++i) {
            Submission submission(*m_tile);
            check(submission);
            EXPECT_EQ(kTypedUser, StringValue(*m_tile, FieldUserName));
        }
        agent.Stop();
        std::vector<std::string> requests = agent.Requests();
        EXPECT_EQ(2u, requests.size());
        return requests;
    }

    TileOwner m_tile;
};

TEST_F(SignInSubmission, AMissingValueIsPromptedForWithoutAskingTheAgent) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();

    const std::pair<const wchar_t*, const wchar_t*> entries[] = {{L"", L""}, {L"bob", L""}, {L"", L"pw"}};
    for (const auto& [user, password] : entries) {
        SCOPED_TRACE(testing::Message() << "user '" << user << "' password '" << password << "'");
        Type(user, password);
        Submission submission(*m_tile);
        ExpectNoCredential(submission, L"Enter username and password.", CPSI_NONE);
    }

    // A password dropped at deselection is missing too.
    Type(L"bob", L"pw");
    m_tile->SetDeselected();
    ExpectNoCredential(Submission(*m_tile), L"Enter username and password.", CPSI_NONE);

    // Without the text's block there is nothing to show, and the call says why.
    MallocSpy::Get().FailAllocations(1);
    ExpectNoCredential(Submission(*m_tile), L"<null>", CPSI_NONE, E_OUTOFMEMORY);

    agent.Stop();
    EXPECT_EQ(0, agent.Connections());
}

TEST_F(SignInSubmission, ARefusalShowsTheAgentsReasonOrTheDefaultDenial) {
    const std::pair<const char*, const wchar_t*> replies[] = {
        {R"({"status":"DENIED","reason":"Account locked until 10:00"})", L"Account locked until 10:00"},
        {R"({"status":"DENIED"})", L"Authentication denied."},
        {R"({"status":"DENIED","reason":""})", L"Authentication denied."},
        {R"({"status":"ok","username":"root"})", L"Authentication denied."},
        {"not json at all", L"Authentication denied."},
    };
    for (const auto& [reply, text] : replies) {
        SCOPED_TRACE(reply);
        Type(kTypedUser, kTypedPassword);
        ScriptedAgent agent(AgentBehaviour::ReplyWith(reply));
        std::vector<std::string> requests = SubmitTwiceTo(agent, [&, text = text](const Submission& submission) {
            ExpectNoCredential(submission, text, CPSI_ERROR);
        });
        for (const std::string& request : requests) {
            EXPECT_EQ(kTypedRequest, request);
        }
    }
}

TEST_F(SignInSubmission, AFailedExchangeShowsItsTransportTextWithTheErrorIcon) {
    Type(kTypedUser, kTypedPassword);

    // No agent at all: the wait fails at once.
    ExpectNoCredential(Submission(*m_tile), L"qm-agent unreachable (pipe timeout)", CPSI_ERROR);

    // The agent reads the request and hangs up without a verdict.
    ScriptedAgent hangsUp(AgentBehaviour::HangUp());
    SubmitTwiceTo(hangsUp, [](const Submission& submission) {
        ExpectNoCredential(submission, L"qm-agent pipe read failed", CPSI_ERROR);
    });

    // A reply longer than the client takes is no verdict either.
    ScriptedAgent tooLong(AgentBehaviour::ReplyWith(R"({"status":"OK","pad":")" + std::string(4096, 'x') + "\"}"));
    SubmitTwiceTo(tooLong, [](const Submission& submission) {
        ExpectNoCredential(submission, L"qm-agent pipe read failed", CPSI_ERROR);
    });

    // The agent hangs up before reading a request larger than its input buffer.
    ScriptedAgentOptions neverReads;
    neverReads.readRequests = false;
    neverReads.inBufferSize = 16;
    ScriptedAgent writeFails(AgentBehaviour::HangUp(), neverReads);
    SubmitTwiceTo(writeFails, [](const Submission& submission) {
        ExpectNoCredential(submission, L"qm-agent pipe write failed", CPSI_ERROR);
    });
}

// Replaces the agent exchange's system calls for one test; Wine cannot make a free pipe instance
// refuse to open or a UTF-8 conversion fail.
class SignInSubmissionWithFailingCalls : public SignInSubmission {
protected:
    static HANDLE WINAPI BusyCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
        SetLastError(ERROR_PIPE_BUSY);
        return INVALID_HANDLE_VALUE;
    }
    static int WINAPI FailingConversion(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }

    ScopedSystemCalls<AgentSystemCalls> m_calls{g_agentSystemCalls};
};

TEST_F(SignInSubmissionWithFailingCalls, AnOpenFailureAndAnExchangeWithoutTextAreShown) {
    Type(kTypedUser, kTypedPassword);
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();

    m_calls->createFile = BusyCreateFile;
    ExpectNoCredential(Submission(*m_tile), L"qm-agent pipe open failed", CPSI_ERROR);
    *m_calls = m_calls.Real();

    // The values cannot be encoded: no verdict and no text from the exchange.
    m_calls->wideCharToMultiByte = FailingConversion;
    ExpectNoCredential(Submission(*m_tile), L"Authentication failed.", CPSI_ERROR);
    *m_calls = m_calls.Real();

    // A refusal whose text cannot be copied shows none, and is still handled.
    ScriptedAgent denies(AgentBehaviour::ReplyWith(R"({"status":"DENIED","reason":"no"})"));
    agent.Stop();
    ASSERT_TRUE(denies.Start()) << GetLastError();
    MallocSpy::Get().FailAllocations(1);
    ExpectNoCredential(Submission(*m_tile), L"<null>", CPSI_ERROR);
    EXPECT_EQ(1u, MallocSpy::Get().FailuresDelivered());
}

TEST_F(SignInSubmission, AnApprovalSignsInTheAgentsAccountWithTheTypedPassword) {
    const std::pair<const char*, std::wstring> replies[] = {
        {R"({"status":"OK","username":"CORP-bob.smith","full_name":"Bob Smith","is_admin":true})", L"CORP-bob.smith"},
        {R"({"status":"OK","username":""})", kTypedUser},
        {R"({"status":"OK"})", kTypedUser},
    };
    const std::wstring domain = LocalComputerName();
    const ULONG kerberos = KerberosPackageFromLsa();
    ASSERT_NE(0u, kerberos);

    for (const auto& [reply, account] : replies) {
        SCOPED_TRACE(reply);
        Type(kTypedUser, kTypedPassword);
        ScriptedAgent agent(AgentBehaviour::ReplyWith(reply));
        SubmitTwiceTo(agent, [&, account = account](const Submission& submission) {
            EXPECT_EQ(S_OK, submission.hr);
            EXPECT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, submission.response);
            EXPECT_EQ(L"<null>", submission.statusText);
            EXPECT_EQ(CPSI_NONE, submission.icon);
            EXPECT_EQ(kerberos, submission.serialization.ulAuthenticationPackage);
            EXPECT_TRUE(IsEqualGUID(CLSID_QMCredProvider, submission.serialization.clsidCredentialProvider));
            PackedLogon logon = submission.Logon();
            EXPECT_EQ("", logon.faults);
            EXPECT_EQ(2u, logon.messageType);
            EXPECT_EQ(domain, logon.domain.text);
            EXPECT_EQ(account, logon.userName.text);
            EXPECT_EQ(kTypedPassword, logon.password.text);
        });
    }

    // ReportResult adds nothing after the attempt, whatever its outcome.
    for (NTSTATUS status : {NTSTATUS{0}, static_cast<NTSTATUS>(0xC000006D)}) {
        PWSTR text = reinterpret_cast<PWSTR>(0x1);
        CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_ERROR;
        EXPECT_EQ(S_OK, m_tile->ReportResult(status, status, &text, &icon));
        EXPECT_EQ(nullptr, text);
        EXPECT_EQ(CPSI_NONE, icon);
    }
}

TEST_F(SignInSubmission, AnApprovalThatCannotBePackedShowsTheBuildFailure) {
    // Out of memory for the block; then for the block and the text.
    Type(kTypedUser, kTypedPassword);
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"bob"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    unsigned failingRuns = ForEachAllocationFailure([&](unsigned) {
        Submission submission(*m_tile);
        if (MallocSpy::Get().FailuresDelivered() == 0) {
            EXPECT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, submission.response);
            return;
        }
        ExpectNoCredential(submission, L"Failed to build logon.", CPSI_ERROR, E_OUTOFMEMORY);
    });
    EXPECT_EQ(1u, failingRuns);  // the block is the only allocation of a successful sign-in
    MallocSpy::Get().FailAllocations(1, 2);
    ExpectNoCredential(Submission(*m_tile), L"<null>", CPSI_ERROR, E_OUTOFMEMORY);
    agent.Stop();

    // A value too long for the logon's 16-bit lengths: the typed name when the agent names no
    // account, refused after the exchange; the typed password, refused before it, so that it
    // never reaches the agent. The longest password that fits signs in.
    const std::wstring tooLong(kMaxLogonStringUnits + 1, L'z');
    const std::wstring longest(kMaxLogonStringUnits, L'z');
    ScriptedAgent approves(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(approves.Start()) << GetLastError();
    Type(tooLong, kTypedPassword);
    ExpectNoCredential(Submission(*m_tile), L"Failed to build logon.", CPSI_ERROR, E_INVALIDARG);
    Type(kTypedUser, tooLong);
    ExpectNoCredential(Submission(*m_tile), L"Failed to build logon.", CPSI_ERROR, E_INVALIDARG);
    Type(kTypedUser, longest);
    EXPECT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, Submission(*m_tile).response);
    approves.Stop();
    const std::vector<std::string> requests = approves.Requests();
    ASSERT_EQ(2u, requests.size());  // the over-long password was never sent
    EXPECT_EQ(0u, requests[1].find(R"({"action":"AUTH","username":"bob","password":"zzzz)"));
}

// The provider keeps one tile across scenarios and passes each accepted one on; the last accepted
// call decides the form of the next logon, and a refused one changes nothing. Windows unlocks a
// session only with KerbWorkstationUnlockLogon, and a 32-bit caller of the credential prompt reads
// only the 32-bit layout; Wine's LogonUI is not there to refuse a wrong form, so the block is read.
TEST(SignInScenario, TheLastAcceptedScenarioDecidesTheLogonsForm) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    CQMCredProvider* provider = new CQMCredProvider();
    struct Step {
        CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario;
        DWORD flags;
        HRESULT accepted;
        ULONG messageType;
        const PackedLogonLayout& layout;
    };
    const Step steps[] = {
        {CPUS_LOGON, 0, S_OK, KerbInteractiveLogon, kPackedLogon64},
        {CPUS_UNLOCK_WORKSTATION, 0, S_OK, KerbWorkstationUnlockLogon, kPackedLogon64},
        {CPUS_CHANGE_PASSWORD, CREDUIWIN_PACK_32_WOW, E_NOTIMPL, KerbWorkstationUnlockLogon, kPackedLogon64},
        {CPUS_CREDUI, CREDUIWIN_PACK_32_WOW, S_OK, KerbInteractiveLogon, kPackedLogon32},
        {CPUS_PLAP, 0, E_NOTIMPL, KerbInteractiveLogon, kPackedLogon32},
        {CPUS_CREDUI, CREDUIWIN_GENERIC, S_OK, KerbInteractiveLogon, kPackedLogon64},
    };
    ICredentialProviderCredential* first = nullptr;
    for (const Step& step : steps) {
        SCOPED_TRACE(std::to_string(step.scenario) + " " + std::to_string(step.flags));
        EXPECT_EQ(step.accepted, provider->SetUsageScenario(step.scenario, step.flags));
        ICredentialProviderCredential* tile = nullptr;
        ASSERT_EQ(S_OK, provider->GetCredentialAt(0, &tile));
        if (first == nullptr) {
            first = tile;
            first->AddRef();
        }
        EXPECT_EQ(first, tile);
        tile->SetStringValue(FieldUserName, kTypedUser.c_str());
        tile->SetStringValue(FieldPassword, kTypedPassword.c_str());
        Submission submission(*static_cast<CQMCredentialTile*>(tile));
        ASSERT_EQ(CPGSR_RETURN_CREDENTIAL_FINISHED, submission.response);
        const PackedLogon logon = ReadPackedLogon(submission.serialization.rgbSerialization,
                                                  submission.serialization.cbSerialization, step.layout);
        EXPECT_EQ("", logon.faults);
        EXPECT_EQ(step.messageType, logon.messageType);
        EXPECT_EQ(0u, logon.logonId);
        EXPECT_EQ(kTypedPassword, logon.password.text);
        tile->Release();
    }
    first->Release();
    provider->Release();
}

}  // namespace
