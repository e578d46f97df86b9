// credhost agent-check against agents that each break one rule, and against the two that break
// none (test-agent.exe and the sample agent): each broken agent gets its own named FAIL and exit
// code 3, the sound ones no FAIL. The rule breakers are test-agent's scripted modes and a small
// agent of this program whose pipe, replies and timing a row chooses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "base/local_memory.h"
#include "support/child_process.h"
#include "support/scripted_agent.h"
#include "support/test_agent_process.h"
#include "support/wait_for.h"

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kUser[] = "demo";
constexpr char kPassword[] = "check-pw";
constexpr char kSamplePassword[] = "demo-password";  // the sample's own account
constexpr DWORD kRunTimeoutMs = 120000;
constexpr char kApproval[] =
    R"({"status":"OK","username":"demo","full_name":"Demo User","source":"rule-breaker","is_admin":false})";
constexpr char kRefusal[] = R"({"status":"DENIED","reason":"Invalid username or password."})";
constexpr char kMalformed[] = R"({"status":"ERROR","reason":"Malformed request."})";

// What a rule-breaking agent answers: request is the parsed request, discarded when the bytes
// were not one JSON object. An empty answer hangs up.
using AnswerRule = std::function<std::string(const nlohmann::json& request, bool& hangUpFromNowOn)>;

// The replies of a sound decision: kUser with kPassword approved, anything else refused.
std::string SoundAnswer(const nlohmann::json& request, const char* approval = kApproval) {
    if (!request.is_object() || request.value("action", "") != "AUTH") {
        return kMalformed;
    }
    const bool right = request.value("username", "") == kUser && request.value("password", "") == kPassword;
    return right ? approval : kRefusal;
}

const std::wstring kSoundSddl = std::wstring(L"O:SY") + kSoundAgentPipeDacl;
constexpr DWORD kMessagePipe = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;

// A sound decision that approves with the given reply.
AnswerRule Approving(std::string approval) {
    return [approval](const nlohmann::json& request, bool&) { return SoundAnswer(request, approval.c_str()); };
}

struct RuleBreakerOptions {
    std::wstring sddl = kSoundSddl;
    DWORD pipeType = kMessagePipe;
    AnswerRule answer = Approving(kApproval);
};

// A small multi-instance agent of the pipe's name: four instances, each on its own thread, every
// request read within 2 s and answered by the row's rule.
class RuleBreakingAgent {
public:
    explicit RuleBreakingAgent(RuleBreakerOptions options) : m_options(std::move(options)) {}
    ~RuleBreakingAgent() {
        SetEvent(m_stop.Get());
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    bool Start() {
        PSECURITY_DESCRIPTOR raw = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(m_options.sddl.c_str(), SDDL_REVISION_1, &raw,
                                                                  nullptr)) {
            return false;
        }
        const LocalMemory descriptor(raw);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, raw, FALSE};
        for (DWORD i = 0; i < kInstances; ++i) {
            KernelHandle pipe(CreateNamedPipeW(kAgentPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                               m_options.pipeType | PIPE_WAIT, kInstances, 4096, 4096, 0, &attributes));
            if (!pipe) {
                return false;
            }
            m_pipes.push_back(std::move(pipe));
        }
        for (const KernelHandle& pipe : m_pipes) {
            m_threads.emplace_back(&RuleBreakingAgent::Serve, this, pipe.Get());
        }
        return true;
    }

private:
    static constexpr DWORD kInstances = 4;

    // Waits for an overlapped operation for at most ms or until the stop; false when it failed,
    // with error set (ERROR_MORE_DATA for a message that goes on).
    bool Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL done, DWORD ms, DWORD& count, DWORD& error) {
        error = done ? ERROR_SUCCESS : GetLastError();
        const HANDLE events[] = {overlapped.hEvent, m_stop.Get()};
        if (error == ERROR_IO_PENDING && WaitForMultipleObjects(2, events, FALSE, ms) != WAIT_OBJECT_0) {
            CancelIoEx(pipe, &overlapped);
        }
        if (error != ERROR_SUCCESS && error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) {
            return false;
        }
        error = GetOverlappedResult(pipe, &overlapped, &count, TRUE) ? ERROR_SUCCESS : GetLastError();
        return error == ERROR_SUCCESS;
    }

    bool Read(HANDLE pipe, HANDLE event, std::string& data, DWORD ms) {
        char chunk[65536];
        for (;;) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event;
            DWORD count = 0;
            DWORD error = ERROR_SUCCESS;
            const bool whole =
                Finish(pipe, overlapped, ReadFile(pipe, chunk, sizeof chunk, nullptr, &overlapped), ms, count, error);
            data.append(chunk, count);
            if (whole || error != ERROR_MORE_DATA) {
                return whole;
            }
        }
    }

    void Serve(HANDLE pipe) {
        const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        while (WaitForSingleObject(m_stop.Get(), 0) == WAIT_TIMEOUT) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event.Get();
            DWORD count = 0;
            DWORD error = ERROR_SUCCESS;
            const BOOL connected = ConnectNamedPipe(pipe, &overlapped);
            if (connected || GetLastError() == ERROR_PIPE_CONNECTED ||
                Finish(pipe, overlapped, FALSE, INFINITE, count, error)) {
                ServeClient(pipe, event.Get());
            }
            DisconnectNamedPipe(pipe);
        }
    }

    void ServeClient(HANDLE pipe, HANDLE event) {
        std::string request;
        if (!Read(pipe, event, request, 2000)) {
            return;
        }
        bool hangUp = false;
        const std::string reply = m_hungUp ? std::string() : m_options.answer(nlohmann::json::parse(request, nullptr, false), hangUp);
        m_hungUp = m_hungUp || hangUp;
        if (reply.empty()) {
            return;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD count = 0;
        DWORD error = ERROR_SUCCESS;
        Finish(pipe, overlapped, WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), nullptr, &overlapped),
               2000, count, error);
        std::string rest;
        Read(pipe, event, rest, 1000);  // until the client closes
    }

    RuleBreakerOptions m_options;
    KernelHandle m_stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<KernelHandle> m_pipes;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_hungUp{false};
};

// The lines of a text report by check name, with their status word.
std::vector<std::pair<std::string, std::string>> StatusByCheck(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(": ");
        if (line.size() > 6 && colon != std::string::npos && line.rfind("credhost", 0) != 0) {
            lines.emplace_back(line.substr(6, colon - 6), line.substr(0, line.find(' ')));
        }
    }
    return lines;
}

ProcessResult AgentCheck(const char* password, const std::wstring& options = L"") {
    return RunProcess(Quoted(WindowsPathOf(QM_CREDHOST)) + L" agent-check --user demo --rounds 5" + options,
                      std::string(password) + "\n", kRunTimeoutMs);
}

// Each row serves the pipe with a rule breaker, or in its own way, for as long as the object
// serve returns lives.
struct Row {
    const char* name;
    const char* failingCheck;  // nullptr: no FAIL at all
    RuleBreakerOptions breaker;
    std::function<std::shared_ptr<void>(const std::wstring& folder)> serve = nullptr;
    const char* password = kPassword;
};

std::shared_ptr<void> ServeRuleBreaker(const RuleBreakerOptions& options) {
    auto agent = std::make_shared<RuleBreakingAgent>(options);
    return agent->Start() ? agent : nullptr;
}

std::shared_ptr<void> ServeTestAgent(const std::wstring& folder, const std::wstring& options) {
    auto agent = std::make_shared<TestAgentProcess>(WindowsPathOf(QM_TEST_AGENT), folder);
    // Enough iterations that the work, which test-agent pads alike for every refusal, outweighs
    // the pipe's jitter. The users file serves every row; each run's log starts empty.
    const bool added = GetFileAttributesW(agent->UsersPath().c_str()) != INVALID_FILE_ATTRIBUTES ||
                       agent->AddUser(L"--user demo --iterations 20000", kPassword).exitCode == 0;
    DeleteFileW(agent->LogPath().c_str());
    if (!added || !agent->Start(options)) {
        return nullptr;
    }
    return agent;
}

std::shared_ptr<void> ServeSampleAgent(const std::wstring& folder) {
    auto sample = std::make_shared<BackgroundProcess>();
    if (!sample->Start(Quoted(WindowsPathOf(QM_MINIMAL_AGENT)) + L" console", folder + L"\\sample.log") ||
        !WaitFor([] { return WaitNamedPipeW(kAgentPipeName, 1) || GetLastError() == ERROR_SEM_TIMEOUT; }, 15000)) {
        return nullptr;
    }
    return sample;
}

TEST(AgentCheck, NamesTheRuleEachAgentBreaksAndPassesSoundOnes) {
    const std::wstring folder = CreateTestFolder(L"qm-agent-check");
    const std::vector<Row> rows = {
        {"test-agent", nullptr, {}, [](const std::wstring& f) { return ServeTestAgent(f, L""); }},
        {"the sample agent", nullptr, {}, ServeSampleAgent, kSamplePassword},
        {"test-agent --no-answer", "approval", {},
         [](const std::wstring& f) { return ServeTestAgent(f, L" --no-answer"); }},
        {"an owner the module does not trust", "agent pipe owner",
         {std::wstring(L"O:S-1-5-21-0-0-0-1000") + kSoundAgentPipeDacl, kMessagePipe,
          [](const nlohmann::json&, bool&) -> std::string {
              ADD_FAILURE() << "a request reached a pipe the module does not trust";
              return kMalformed;
          }}},
        {"a DACL that does not deny network logons", "agent pipe network",
         {L"O:SYD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)"}},
        {"a byte pipe", "agent pipe mode", {kSoundSddl, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE}},
        {"a wrong password costs more than an unknown name", "refusal timing",
         {kSoundSddl, kMessagePipe,
          [](const nlohmann::json& request, bool&) {
              if (request.is_object() && request.value("username", "") == kUser) {
                  Sleep(60);  // only a known name's password is checked
              }
              return SoundAnswer(request);
          }}},
        {"an escaped quote the module reads otherwise", "reply reading",
         {kSoundSddl, kMessagePipe,
          Approving(R"({"status":"OK","username":"demo","full_name":"Demo \"Q\" User","source":"x","is_admin":false})")}},
        {"\"status\" as another key's value, read first by the module", "reply reading",
         {kSoundSddl, kMessagePipe,
          [](const nlohmann::json& request, bool&) {
              const std::string sound = SoundAnswer(request);
              return sound == kRefusal ? R"({"note":"status","detail":"OK","status":"DENIED","reason":"No."})" : sound;
          }}},
        {"\"status\" after another key", "reply keys",
         {kSoundSddl, kMessagePipe, Approving(R"({"username":"demo","status":"OK","source":"x"})")}},
        {"a full name longer than the record", "reply fits",
         {kSoundSddl, kMessagePipe,
          Approving(std::string(R"({"status":"OK","username":"demo","full_name":")") + std::string(300, 'n') +
                    R"(","source":"x","is_admin":false})")}},
        {"an agent that hangs up on everyone after malformed JSON", "malformed JSON",
         {kSoundSddl, kMessagePipe,
          [](const nlohmann::json& request, bool& hangUpFromNowOn) {
              hangUpFromNowOn = !request.is_object();
              return hangUpFromNowOn ? std::string() : SoundAnswer(request);
          }}},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::shared_ptr<void> agent = row.serve ? row.serve(folder) : ServeRuleBreaker(row.breaker);
        ASSERT_TRUE(agent) << "the agent did not start serving";
        const ProcessResult checked = AgentCheck(row.password);
        agent.reset();
        EXPECT_FALSE(checked.timedOut);
        EXPECT_EQ(checked.output.find(row.password), std::string::npos) << "a password was printed";
        const auto lines = StatusByCheck(checked.output);
        if (row.failingCheck == nullptr) {
            EXPECT_LE(checked.exitCode, 1u) << checked.output;
            for (const auto& line : lines) {
                EXPECT_NE(line.second, "FAIL") << checked.output;
            }
            EXPECT_GE(lines.size(), 20u) << checked.output;
            continue;
        }
        EXPECT_EQ(checked.exitCode, 3u) << checked.output;
        const bool named = std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
            return line.first == row.failingCheck && line.second == "FAIL";
        });
        EXPECT_TRUE(named) << "no FAIL for " << row.failingCheck << ":\n" << checked.output;
    }

    // --json gives one object with the same checks.
    {
        std::shared_ptr<void> agent = ServeSampleAgent(folder);
        ASSERT_TRUE(agent);
        const ProcessResult checked = AgentCheck(kSamplePassword, L" --json");
        const nlohmann::json report = nlohmann::json::parse(checked.output, nullptr, false);
        ASSERT_TRUE(report.is_object()) << checked.output;
        EXPECT_EQ(report["failures"], 0) << checked.output;
        EXPECT_EQ(report["exit_code"], checked.exitCode);
    }
    RemoveTestFolder(folder);
}

}  // namespace
