#include "agent_pipe_server.h"

#include "agent/agent_request.h"
#include "agent/json_escape_utf8.h"
#include "agent_test_users.h"
#include "pipe_security.h"
#include "process_user_sid.h"
#include "utf8_conversion.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

std::wstring PrivatePipeName() { return L"\\\\.\\pipe\\qm-test-agent-unit-" + std::to_wstring(GetCurrentProcessId()); }

class Client {
public:
    explicit Client(const std::wstring& name) {
        if (!WaitNamedPipeW(name.c_str(), 5000)) {
            return;
        }
        m_pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr);
    }
    ~Client() {
        if (IsOpen()) {
            CloseHandle(m_pipe);
        }
    }
    bool IsOpen() const { return m_pipe != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_pipe; }

    bool Send(const std::string& message) {
        DWORD written = 0;
        return WriteFile(m_pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
               written == message.size();
    }
    // The reply, or "" with error set.
    std::string Receive(DWORD& error) {
        char buffer[4096];
        DWORD read = 0;
        error = ERROR_SUCCESS;
        if (!ReadFile(m_pipe, buffer, sizeof(buffer), &read, nullptr)) {
            error = GetLastError();
            return {};
        }
        return std::string(buffer, read);
    }
    std::string Exchange(const std::string& message) {
        DWORD error = 0;
        return Send(message) ? Receive(error) : std::string();
    }

private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
};

std::string AliceRequest() {
    return std::string(R"({"action":"AUTH","username":"alice","password":")") + kAlicePassword + "\"}";
}

class AgentPipeServerTest : public ::testing::Test {
protected:
    AgentServerOptions Options() const {
        AgentServerOptions options;
        options.pipeName = PrivatePipeName();
        return options;
    }
    RequestLogSink Sink() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.push_back(line);
        };
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

    UserStore m_store = TestUsers();
    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

TEST_F(AgentPipeServerTest, AnswersOverThePipeAndRefusesASecondServerForTheName) {
    AgentPipeServer server(m_store, Options(), Sink());
    ASSERT_EQ(server.Start(), S_OK);

    Client client(PrivatePipeName());
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Exchange(AliceRequest()),
              R"({"status":"OK","username":"alice","full_name":"Alice Admin","source":"test-agent","is_admin":true})");

    AgentPipeServer second(m_store, Options(), Sink());
    EXPECT_EQ(second.Start(), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));

    server.Stop();
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("user=\"alice\" verdict=OK"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find(kAlicePassword), std::string::npos);
}

TEST_F(AgentPipeServerTest, ASlowReplyDoesNotHoldUpTheNextClient) {
    AgentServerOptions options = Options();
    options.instances = 2;
    options.replyDelayMs = 2000;
    AgentPipeServer server(m_store, options, Sink());
    ASSERT_EQ(server.Start(), S_OK);

    std::atomic<bool> firstAnswered{false};
    std::string firstReply;
    std::thread first([&] {
        Client client(PrivatePipeName());
        firstReply = client.Exchange(AliceRequest());
        firstAnswered = true;
    });
    Sleep(300);
    // The first client holds one instance in its delay; the second finds the other one free.
    ASSERT_FALSE(firstAnswered.load());
    EXPECT_TRUE(WaitNamedPipeW(PrivatePipeName().c_str(), 100));
    Client second(PrivatePipeName());
    ASSERT_TRUE(second.IsOpen());
    ASSERT_TRUE(second.Send(AliceRequest()));
    EXPECT_FALSE(firstAnswered.load()) << "the second client got in only after the first reply";
    DWORD error = 0;
    EXPECT_NE(second.Receive(error).find("\"status\":\"OK\""), std::string::npos);
    first.join();
    EXPECT_NE(firstReply.find("\"status\":\"OK\""), std::string::npos);
}

TEST_F(AgentPipeServerTest, OversizedAndSilentClientsAreRefusedOrDropped) {
    AgentServerOptions options = Options();
    options.requestTimeoutMs = 300;
    AgentPipeServer server(m_store, options, Sink());
    ASSERT_EQ(server.Start(), S_OK);

    // The longest request the module can send, encoded by the module's own code: a name and a
    // password of 32 767 control characters, each escaped to six bytes. It is read and decided;
    // one byte more is too large.
    const std::wstring controls(kMaxRequestTextUnits, L'\x01');
    SecureBytes escaped;
    SecureBytes request;
    ASSERT_EQ(JsonEscapeUtf8(controls.c_str(), escaped), S_OK);
    BuildAgentRequest(escaped, escaped, request);
    const std::string longest(request.begin(), request.end());
    ASSERT_EQ(longest.size(), kMaxRequestBytes);
    Client atTheLimit(PrivatePipeName());
    EXPECT_EQ(atTheLimit.Exchange(longest), R"({"status":"DENIED","reason":"Invalid username or password."})");
    // One byte more: the instance is disconnected without a reply.
    Client big(PrivatePipeName());
    EXPECT_EQ(big.Exchange(longest.substr(0, longest.size() - 2) + "x\"}"), "");

    // Connects and sends nothing: the instance drops it instead of waiting for ever.
    Client silent(PrivatePipeName());
    ASSERT_TRUE(silent.IsOpen());
    DWORD error = 0;
    EXPECT_EQ(silent.Receive(error), "");
    EXPECT_TRUE(error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) << error;

    // The server still serves after both.
    Client next(PrivatePipeName());
    EXPECT_NE(next.Exchange(AliceRequest()).find("\"status\":\"OK\""), std::string::npos);
    server.Stop();
    // Each instance logs once its client has its answer, so two clients' lines may come in
    // either order.
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    for (const char* verdict : {"DENIED (unknown user)", "DROPPED (request over 393249 bytes)",
                                "DROPPED (no request in time)", "verdict=OK"}) {
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) { return line.find(verdict) != std::string::npos; }),
                  1)
            << verdict;
    }
}

std::string ThisProcessAccount() {
    KernelHandle token;
    BYTE buffer[256];
    wchar_t name[256], domain[256];
    DWORD size = 0, nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive());
    GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size);
    LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameLength, domain,
                      &domainLength, &use);
    return Utf8FromWide(std::wstring(domain) + L"\\" + name);
}

// The flood that once held every instance: clients writing messages far beyond the longest
// request, and one that connects and never writes. Each oversized message is cut off at once
// (draining 32 MB in small reads kept an instance for many seconds), the silent client is
// dropped at the request deadline, and meanwhile another client signs in within the module's
// deadlines, again and again.
TEST_F(AgentPipeServerTest, FourFloodingClientsCannotKeepAFifthFromSigningIn) {
    AgentPipeServer server(m_store, Options(), Sink());
    ASSERT_EQ(server.Start(), S_OK);
    const DWORD deadlineMs = Options().requestTimeoutMs;
    const std::string flood(32 * 1024 * 1024, 'x');

    std::atomic<bool> flooding{true};
    std::atomic<DWORD> longestHeldMs{0};
    std::atomic<int> cutOff{0};
    std::vector<std::thread> flooders;
    for (int i = 0; i < 3; ++i) {
        flooders.emplace_back([&] {
            while (flooding) {
                Client client(PrivatePipeName());
                const ULONGLONG start = GetTickCount64();
                cutOff += client.IsOpen() && !client.Send(flood);
                const DWORD held = static_cast<DWORD>(GetTickCount64() - start);
                for (DWORD longest = longestHeldMs;
                     held > longest && !longestHeldMs.compare_exchange_weak(longest, held);) {
                }
            }
        });
    }
    std::atomic<DWORD> silentHeldMs{0};
    std::thread silent([&] {
        Client client(PrivatePipeName());
        const ULONGLONG start = GetTickCount64();
        DWORD error = 0;
        client.Receive(error);
        silentHeldMs = static_cast<DWORD>(GetTickCount64() - start);
    });

    // Each sign-in within the module's bounds: 5 s for a free instance, 10 s for the exchange.
    Sleep(500);
    for (int signIn = 0; signIn < 4; ++signIn) {
        const ULONGLONG start = GetTickCount64();
        Client client(PrivatePipeName());
        ASSERT_TRUE(client.IsOpen()) << "sign-in " << signIn << ": no instance within 5 s, error " << GetLastError();
        const std::string reply = client.Exchange(AliceRequest());
        EXPECT_NE(reply.find("\"status\":\"OK\""), std::string::npos) << "sign-in " << signIn << ": " << reply;
        EXPECT_LT(GetTickCount64() - start, 15000u);
        Sleep(2000);
    }
    flooding = false;
    for (std::thread& flooder : flooders) {
        flooder.join();
    }
    silent.join();
    server.Stop();

    EXPECT_GT(cutOff.load(), 3);
    EXPECT_LT(longestHeldMs.load(), deadlineMs / 2) << "an oversized message held its instance";
    EXPECT_GE(silentHeldMs.load(), deadlineMs - 500);
    EXPECT_LT(silentHeldMs.load(), deadlineMs + 5000);
    const std::vector<std::string> lines = Lines();
    const auto count = [&](const std::string& text) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("DROPPED (no request in time)"), 1);
    EXPECT_GT(count("DROPPED (request over 393249 bytes)"), 3);
    // Each line names the caller's account, read through the pipe.
    EXPECT_EQ(count("caller=\"" + ThisProcessAccount() + "\" user=\"alice\" verdict=OK"), 4);
}

TEST_F(AgentPipeServerTest, StopEndsAConnectionThatIsNeverAnswered) {
    AgentServerOptions options = Options();
    options.neverAnswer = true;
    AgentPipeServer server(m_store, options, Sink());
    ASSERT_EQ(server.Start(), S_OK);
    Client client(PrivatePipeName());
    ASSERT_TRUE(client.Send(AliceRequest()));
    std::thread stopper([&] {
        Sleep(300);
        server.Stop();
    });
    DWORD error = 0;
    EXPECT_EQ(client.Receive(error), "");
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    stopper.join();
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_NE(Lines()[0].find("NO ANSWER (would be OK)"), std::string::npos);
}

// What a client can time over the pipe must not tell it which names exist: a refusal for a cheap
// account takes as long as one for an unknown name, which costs as much as the costliest account.
TEST_F(AgentPipeServerTest, AnswerTimeDoesNotTellWhichNamesExist) {
    UserStore store;
    std::string error;
    ASSERT_TRUE(store.Add(TestUser("cheap", "", "", false, "pw", 1000), error));
    ASSERT_TRUE(store.Add(TestUser("costly", "", "", false, "pw", 100000), error));
    AgentPipeServer server(store, Options(), Sink());
    ASSERT_EQ(server.Start(), S_OK);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    auto answerMs = [&](const std::string& user) {
        Client client(PrivatePipeName());
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const std::string reply = client.Exchange(R"({"action":"AUTH","username":")" + user + R"(","password":"no"})");
        QueryPerformanceCounter(&end);
        EXPECT_NE(reply.find("DENIED"), std::string::npos) << reply;
        return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    // Medians of interleaved answers must differ by less than 20%. A busy machine can stretch
    // one round, so up to three are measured; a real leak (the cheap account answering about a
    // hundred times sooner) fails every one of them.
    auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    std::string rounds;
    bool within = false;
    for (int round = 0; round < 3 && !within; ++round) {
        std::vector<double> cheap, unknown;
        for (int i = 0; i < 9; ++i) {
            cheap.push_back(answerMs("cheap"));
            unknown.push_back(answerMs("nobody"));
        }
        const double cheapMedian = median(cheap);
        const double unknownMedian = median(unknown);
        within = std::abs(cheapMedian - unknownMedian) < 0.2 * std::max(cheapMedian, unknownMedian);
        char line[96];
        std::snprintf(line, sizeof(line), "median answer: cheap account %.1f ms, unknown name %.1f ms\n", cheapMedian,
                      unknownMedian);
        rounds += line;
    }
    EXPECT_TRUE(within) << rounds;
    std::printf("%s", rounds.c_str());
}

// Under Wine every process is one user, so the descriptors of the other accounts are asked for.
TEST(PipeSecurity, OwnedByATrustedAccountAndOpenToInteractiveClientsWithoutNewInstances) {
    const std::wstring service = L"S-1-5-80-150321250-2041296840-1456520357-1891932008-333219552";
    const std::wstring common = L"D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)";
    const std::wstring interactive = L"(A;;0x0012019B;;;IU)";
    EXPECT_EQ(PipeSecuritySddlFor(L"S-1-5-18"), L"O:SY" + common + interactive);
    EXPECT_EQ(PipeSecuritySddlFor(service), L"O:" + service + common + L"(A;;GA;;;" + service + L")" + interactive);
    EXPECT_EQ(PipeSecuritySddlFor(L"S-1-5-21-1-2-3-1001"), L"O:BA" + common + interactive);

    // Interactive users may read, write and set message mode, as the module asks, but not create
    // instances.
    const DWORD interactiveAccess = 0x0012019B;
    EXPECT_EQ(interactiveAccess & FILE_CREATE_PIPE_INSTANCE, 0u);
    EXPECT_EQ((FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES) & ~interactiveAccess, 0u);

    // The descriptor handed to CreateNamedPipeW is this account's, with its owner and four entries.
    std::wstring user;
    ASSERT_EQ(CurrentUserSidString(user), S_OK);
    PipeSecurity security;
    ASSERT_EQ(security.Create(), S_OK);
    EXPECT_EQ(security.Sddl(), PipeSecuritySddlFor(user));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(security.Attributes()->lpSecurityDescriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    EXPECT_EQ(dacl->AceCount, 4);
    ASSERT_TRUE(GetSecurityDescriptorOwner(security.Attributes()->lpSecurityDescriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    EXPECT_FALSE(security.Attributes()->bInheritHandle);
}

}  // namespace
