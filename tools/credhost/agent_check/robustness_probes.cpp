#include "robustness_probes.h"

#include "display_escaping.h"
#include "wiping_allocator.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// The module refuses a longer password before it asks; one of this many units, each a control
// character that escapes to six bytes ("\u0001"), makes the longest request it can send.
constexpr size_t kLongestPasswordUnits = 32767;
constexpr size_t kConcurrentClients = 8;
// Slow clients: at most this many, each writing a piece this large at this pace, until their
// requests pass the longest the module sends or the sign-in beside them is done.
constexpr DWORD kMostSlowClients = 8;
constexpr size_t kSlowPieceBytes = 1024;
constexpr DWORD kSlowPaceMs = 100;
constexpr size_t kOversizedBytes = 45 + 2 * kLongestPasswordUnits * 6 + 1;

const std::string kServeHint =
    "serve each connection with one deadline and a size bound, and go on serving whatever a client sends";

// A request the module would never send: an answer that is not an approval, or a hang-up, is
// sound; an approval, or a connection held past the module's deadline, is not.
std::string OddRequestFault(const AgentAnswer& answer) {
    if (answer.step == AgentExchangeStep::Done && IsApproval(answer)) {
        return "it was approved";
    }
    const bool heldPastDeadline = (answer.step == AgentExchangeStep::Read || answer.step == AgentExchangeStep::Write) &&
                                  answer.error == ERROR_OPERATION_ABORTED;
    if (heldPastDeadline || answer.step == AgentExchangeStep::Wait || answer.step == AgentExchangeStep::Open ||
        answer.step == AgentExchangeStep::Trust) {
        return AnswerText(answer);
    }
    return {};
}

// The module's request for the account and its password, turned by edit into a request the
// module never sends (in place, so that the password stays in wiping buffers), and sent.
AgentAnswer AskEdited(AgentCheckContext& context, const std::function<void(SecureBytes&)>& edit) {
    SecureBytes request;
    if (FAILED(BuildAgentAuthRequest(context.UserName().c_str(), context.Password(), request))) {
        return AgentAnswer{AgentExchangeStep::Write, ERROR_OUTOFMEMORY, {}, 0};
    }
    edit(request);
    return AskAgent(request);
}

SecureBytes BytesOf(std::string_view text) { return SecureBytes(text.begin(), text.end()); }

// Adds the probe's line: FAIL with the probe's own fault, else FAIL when the account is not
// approved right after, else OK.
void AddProbeLine(CheckReport& report, AgentCheckContext& context, const std::string& name, const std::string& fault) {
    if (!fault.empty()) {
        AddCheck(report, name, CheckStatus::Fail, fault, kServeHint);
        return;
    }
    const AgentAnswer after = context.SignIn(name);
    if (!IsApproval(after)) {
        AddCheck(report, name, CheckStatus::Fail, "the next sign-in: " + AnswerText(after), kServeHint);
        return;
    }
    AddCheck(report, name, CheckStatus::Ok, "then " + AnswerText(after));
}

void ProbeOddRequest(CheckReport& report, AgentCheckContext& context, const std::string& name, AgentAnswer answer) {
    context.Record(name, answer);
    const std::string fault = OddRequestFault(answer);
    AddProbeLine(report, context, name, fault.empty() ? fault : "its answer: " + fault);
}

void ProbeLongestRequest(CheckReport& report, AgentCheckContext& context) {
    SecretWide password(kLongestPasswordUnits + 1, L'\x0001');
    password.back() = L'\0';
    const AgentAnswer answer = AskAgentToSignIn(context.UserName(), password.data());
    context.Record("longest request", answer);
    std::string fault;
    if (answer.step != AgentExchangeStep::Done) {
        fault = "the longest request the module can send: " + AnswerText(answer);
    } else if (IsApproval(answer)) {
        fault = "a wrong password of 32 767 units was approved";
    }
    AddProbeLine(report, context, "longest request", fault);
}

void ProbeConnectAndClose(CheckReport& report, AgentCheckContext& context) {
    KernelHandle pipe;
    const AgentAnswer connected{ConnectToAgent(pipe), GetLastError(), {}, 0};
    pipe.Close();
    AddProbeLine(report, context, "connect and close",
                 connected.step == AgentExchangeStep::Done ? std::string()
                                                           : "it could not connect: " + AnswerText(connected));
}

void ProbeSilentClient(CheckReport& report, AgentCheckContext& context) {
    KernelHandle silent;
    const AgentAnswer connected{ConnectToAgent(silent), GetLastError(), {}, 0};
    if (connected.step != AgentExchangeStep::Done) {
        AddCheck(report, "silent client", CheckStatus::Fail, "it could not connect: " + AnswerText(connected),
                 kServeHint);
        return;
    }
    const AgentAnswer beside = context.SignIn("silent client");
    silent.Close();
    if (!IsApproval(beside)) {
        AddCheck(report, "silent client", CheckStatus::Fail,
                 "while a client that never writes was connected, the sign-in: " + AnswerText(beside),
                 "serve several instances, and drop a client that sends no request within 10 s");
        return;
    }
    AddCheck(report, "silent client", CheckStatus::Ok,
             "beside a client that never writes, " + AnswerText(beside));
}

// Writes one piece on a slow client's pipe, waiting at most a second. False when it was not
// taken (the agent dropped the client, or stopped reading).
bool WritePiece(HANDLE pipe, HANDLE event, const std::string& piece) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD written = 0;
    if (!WriteFile(pipe, piece.data(), static_cast<DWORD>(piece.size()), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
    }
    return GetOverlappedResult(pipe, &overlapped, &written, TRUE) && written == piece.size();
}

// One slow client: an oversized request, a piece at a time, never reading a reply.
void SendSlowly(HANDLE pipe, const std::atomic<bool>& done) {
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string piece = R"({"action":"AUTH","username":")";
    piece.resize(kSlowPieceBytes, 'A');
    for (size_t sent = 0; sent < kOversizedBytes && !done; sent += piece.size()) {
        if (!WritePiece(pipe, event.Get(), piece)) {
            return;
        }
        piece.assign(kSlowPieceBytes, 'A');
        Sleep(kSlowPaceMs);
    }
}

void ProbeSlowClients(CheckReport& report, AgentCheckContext& context, DWORD instances) {
    const DWORD wanted = std::min(std::max<DWORD>(instances, 1), kMostSlowClients);
    std::vector<KernelHandle> pipes;
    for (DWORD i = 0; i < wanted; ++i) {
        KernelHandle pipe;
        if (ConnectToAgent(pipe) != AgentExchangeStep::Done) {
            break;
        }
        pipes.push_back(std::move(pipe));
    }
    std::atomic<bool> done{false};
    std::vector<std::thread> clients;
    for (const KernelHandle& pipe : pipes) {
        clients.emplace_back(SendSlowly, pipe.Get(), std::cref(done));
    }
    const AgentAnswer beside = AskAgentToSignIn(context.UserName(), context.Password());
    done = true;
    for (std::thread& client : clients) {
        client.join();
    }
    pipes.clear();
    context.Record("slow clients", beside);
    const std::string slow = std::to_string(clients.size()) + " clients sending oversized requests slowly";
    if (!IsApproval(beside)) {
        AddCheck(report, "slow clients", CheckStatus::Fail, "beside " + slow + ", the sign-in: " + AnswerText(beside),
                 "bound each request by one deadline and its size, and drop a client that passes either");
        return;
    }
    AddCheck(report, "slow clients", CheckStatus::Ok, "beside " + slow + ", " + AnswerText(beside));
}

void ProbeConcurrentClients(CheckReport& report, AgentCheckContext& context) {
    std::vector<AgentAnswer> answers(kConcurrentClients);
    std::vector<std::thread> clients;
    for (AgentAnswer& answer : answers) {
        clients.emplace_back([&context, &answer] { answer = AskAgentToSignIn(context.UserName(), context.Password()); });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    size_t approved = 0;
    size_t busy = 0;
    std::string fault;
    for (const AgentAnswer& answer : answers) {
        context.Record("8 clients", answer, false);
        if (IsApproval(answer)) {
            ++approved;
        } else if (FoundEveryInstanceBusy(answer)) {
            ++busy;
        } else if (fault.empty()) {
            fault = AnswerText(answer);
        }
    }
    const std::string figures = std::to_string(approved) + " of " + std::to_string(kConcurrentClients) + " approved";
    if (!fault.empty()) {
        AddCheck(report, "8 clients", CheckStatus::Fail, figures + "; one: " + fault, kServeHint);
        return;
    }
    if (busy != 0) {
        AddCheck(report, "8 clients", CheckStatus::Warn,
                 figures + "; " + std::to_string(busy) + " found every instance busy (the module does not retry)",
                 "serve more instances at once");
        return;
    }
    AddCheck(report, "8 clients", CheckStatus::Ok, figures + " at once");
}

}  // namespace

void CheckRobustness(CheckReport& report, AgentCheckContext& context, DWORD instances) {
    const auto replace = [](std::string_view from, std::string_view to) {
        return [from, to](SecureBytes& request) {
            const auto at = std::search(request.begin(), request.end(), from.begin(), from.end());
            if (at != request.end()) {
                const size_t offset = static_cast<size_t>(at - request.begin());
                SecureBytes edited(request.begin(), request.begin() + offset);
                edited.insert(edited.end(), to.begin(), to.end());
                edited.insert(edited.end(), at + from.size(), request.end());
                request.swap(edited);
            }
        };
    };
    SecureBytes malformed = BytesOf(R"({"action":"AUTH","username":)");
    ProbeOddRequest(report, context, "malformed JSON", AskAgent(malformed));
    ProbeOddRequest(report, context, "missing action", AskEdited(context, replace(R"("action":"AUTH",)", "")));
    ProbeOddRequest(report, context, "unknown action", AskEdited(context, replace(R"("AUTH")", R"("PURGE")")));
    SecureBytes invalidUtf8 = BytesOf("{\"action\":\"AUTH\",\"username\":\"\xC3\x28\xFF\",\"password\":\"x\"}");
    ProbeOddRequest(report, context, "invalid UTF-8", AskAgent(invalidUtf8));
    SecureBytes empty;
    ProbeOddRequest(report, context, "empty message", AskAgent(empty));
    ProbeLongestRequest(report, context);
    ProbeConnectAndClose(report, context);
    ProbeSilentClient(report, context);
    ProbeSlowClients(report, context, instances);
    ProbeConcurrentClients(report, context);
}
