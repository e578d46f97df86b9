// Every way the exchange fails before a verdict: text, status and result.
#include <chrono>
#include <thread>

#include "agent_pipe_name.h"
#include "exchange_helpers.h"

namespace {

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A password far longer than the agent's 4096-byte input buffer, so the write waits for a read.
std::wstring LongPassword() { return std::wstring(100000, L'p'); }

}  // namespace

TEST(AgentExchangeFailure, NullArgumentLeavesTheRecordUntouched) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();

    AgentAuthResult result;
    std::memset(&result, 0x5A, sizeof result);
    AgentAuthResult untouched = result;
    EXPECT_EQ(AgentAuthClient(nullptr, L"pw", &result), E_INVALIDARG);
    EXPECT_EQ(AgentAuthClient(L"alice", nullptr, &result), E_INVALIDARG);
    EXPECT_EQ(AgentAuthClient(L"alice", L"pw", nullptr), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&result, &untouched, sizeof result), 0);

    agent.Stop();
    EXPECT_EQ(agent.Connections(), 0);
}

TEST(AgentExchangeFailure, NoAgentFailsTheWaitAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    ExpectNoVerdict(Exchange(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"qm-agent unreachable (pipe timeout)");
    EXPECT_LT(MillisecondsSince(start), 1000);
}

TEST(AgentExchangeFailure, BusyAgentFailsTheWaitAfterFiveSeconds) {
    ScriptedAgent agent(AgentBehaviour::HangUp());
    ASSERT_TRUE(agent.StartBusy()) << GetLastError();

    const auto start = std::chrono::steady_clock::now();
    ExpectNoVerdict(Exchange(), HRESULT_FROM_WIN32(ERROR_SEM_TIMEOUT), L"qm-agent unreachable (pipe timeout)");
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 4500);
    EXPECT_LT(elapsed, 8000);
}

TEST(AgentExchangeFailure, RefusedOpenReportsItsError) {
    ScriptedAgentOptions inbound;
    inbound.inboundOnly = true;
    ScriptedAgent agent(AgentBehaviour::HangUp(), inbound);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    ExpectNoVerdict(Exchange(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"qm-agent pipe open failed");
}

// A failed open that leaves no error code must still fail: S_OK would read as a verdict.
TEST(AgentExchangeFailure, OpenFailureWithoutErrorCodeIsStillAFailure) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->createFile = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
        SetLastError(ERROR_SUCCESS);
        return INVALID_HANDLE_VALUE;
    };
    ExpectNoVerdict(Exchange(), E_FAIL, L"qm-agent pipe open failed");
}

TEST(AgentExchangeFailure, PipeIsOpenedForOverlappedIoWithIdentificationOnly) {
    struct Seen {
        std::wstring name;
        DWORD access, share, disposition, flags;
        bool security, templateFile;
    };
    static Seen seen;
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->createFile = [](LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                           DWORD flags, HANDLE templateFile) {
        seen = {name, access, share, disposition, flags, security != nullptr, templateFile != nullptr};
        return CreateFileW(name, access, share, security, disposition, flags, templateFile);
    };

    EXPECT_EQ(Exchange().result.status, AgentAuthApproved);
    EXPECT_EQ(seen.name, kAgentPipeName);
    // Read (with READ_CONTROL, for the owner), write-data and message mode, never GENERIC_WRITE:
    // on a pipe its FILE_APPEND_DATA is FILE_CREATE_PIPE_INSTANCE, which a standard user's
    // credential prompt is not granted on Windows. Wine grants anything, so the request is checked.
    EXPECT_EQ(seen.access, static_cast<DWORD>(GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES));
    EXPECT_EQ(seen.share, 0u);
    EXPECT_EQ(seen.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(seen.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));
    EXPECT_FALSE(seen.security);
    EXPECT_FALSE(seen.templateFile);
}

// Wine converts every UTF-16 string, so only a replaced size query can fail the encoding.
TEST(AgentExchangeFailure, UnencodableValueSendsNothing) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();
    ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
    calls->wideCharToMultiByte = [](UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) {
        return 0;
    };

    ExpectNoVerdict(Exchange(), E_FAIL, L"");
    agent.Stop();
    ASSERT_EQ(agent.Requests().size(), 1u);
    EXPECT_EQ(agent.Requests()[0], "");
}

TEST(AgentExchangeFailure, AgentLeavingBeforeTheRequestFailsTheWrite) {
    ScriptedAgentOptions unread;
    unread.readRequests = false;
    ScriptedAgent agent(AgentBehaviour::HangUp(), unread);
    ASSERT_TRUE(agent.Start()) << GetLastError();
    ExpectNoVerdict(Exchange(L"alice", LongPassword().c_str()), E_FAIL, L"qm-agent pipe write failed");
}

TEST(AgentExchangeFailure, NoUsableReplyFailsTheRead) {
    ScriptedAgent hangUp(AgentBehaviour::HangUp());
    ASSERT_TRUE(hangUp.Start()) << GetLastError();
    ExpectNoVerdict(Exchange(), E_FAIL, L"qm-agent pipe read failed");
    hangUp.Stop();

    ExpectNoVerdict(ExchangeWithReply(""), E_FAIL, L"qm-agent pipe read failed");
}

// Both transfers are bounded separately: a small request lands in the pipe's buffer and then
// waits for the reply, a long one waits for a read that never comes. Run side by side; the second
// client opens the pipe only after the first holds its instance, since two opens at once may find
// the same free instance and the loser gets ERROR_PIPE_BUSY, for which the exchange does not retry.
TEST(AgentExchangeFailure, SilentAgentReleasesWriteAndReadAfterTenSeconds) {
    ScriptedAgentOptions unread;
    unread.readRequests = false;
    ScriptedAgent agent(AgentBehaviour::Hold(), unread);
    ASSERT_TRUE(agent.Start()) << GetLastError();

    Outcome readOutcome{};
    Outcome writeOutcome{};
    long long readMs = 0;
    long long writeMs = 0;
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        readOutcome = Exchange();
        readMs = MillisecondsSince(start);
    });
    std::thread writer([&] {
        if (!agent.WaitForConnections(1, 5000)) {
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        writeOutcome = Exchange(L"alice", LongPassword().c_str());
        writeMs = MillisecondsSince(start);
    });
    reader.join();
    writer.join();

    ExpectNoVerdict(readOutcome, E_FAIL, L"qm-agent pipe read failed");
    ExpectNoVerdict(writeOutcome, E_FAIL, L"qm-agent pipe write failed");
    EXPECT_GE(readMs, 9500);
    EXPECT_LT(readMs, 14000);
    EXPECT_GE(writeMs, 9500);
    EXPECT_LT(writeMs, 14000);
    EXPECT_EQ(agent.Connections(), 2);
}

// The write and the read share one 10 s deadline: an agent that takes 6 s to read a request
// longer than its buffer and then never answers releases the exchange at 10 s, not at 6 + 10.
TEST(AgentExchangeFailure, SlowReaderAndSilentAgentShareOneDeadline) {
    ScriptedAgentOptions slow;
    slow.readDelayMs = 6000;
    const auto start = std::chrono::steady_clock::now();
    long long readAtMs = 0;
    ScriptedAgent agent(
        [&](std::string_view) {
            readAtMs = MillisecondsSince(start);
            return AgentBehaviour::Hold();
        },
        slow);
    ASSERT_TRUE(agent.Start()) << GetLastError();

    ExpectNoVerdict(Exchange(L"alice", LongPassword().c_str()), E_FAIL, L"qm-agent pipe read failed");
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 9500);
    EXPECT_LT(elapsed, 14000);
    agent.Stop();
    EXPECT_GE(readAtMs, 5500);  // the write was held until the agent read
}
