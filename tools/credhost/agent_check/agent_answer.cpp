#include "agent_answer.h"

#include "agent/agent_reply.h"
#include "display_escaping.h"
#include "win32_error_name.h"

#include <cstdio>

namespace {

double MillisecondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string FailureText(const AgentAnswer& answer) {
    const std::string code = " (" + Win32ErrorNumberText(answer.error) + ")";
    switch (answer.step) {
    case AgentExchangeStep::Wait:
        return answer.error == ERROR_FILE_NOT_FOUND ? "the pipe is gone"
                                                    : "no free instance within the module's 5 s wait" + code;
    case AgentExchangeStep::Open: return "the pipe could not be opened" + code;
    case AgentExchangeStep::Trust: return "the pipe's server is not trusted by the module's rule";
    case AgentExchangeStep::Write: return "the request was not taken within the module's 10 s" + code;
    default: break;
    }
    if (answer.error == ERROR_MORE_DATA) {
        return "a reply longer than the module's 4095 bytes";
    }
    if (answer.error == ERROR_OPERATION_ABORTED) {
        return "no reply within the module's 10 s";
    }
    return "no reply: the agent closed the connection" + code;
}

}  // namespace

std::string MillisecondsText(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", milliseconds);
    return text;
}

AgentAnswer AskAgent(SecureBytes& request) {
    AgentAnswer answer;
    KernelHandle pipe;
    answer.step = ConnectToAgent(pipe);
    if (answer.step != AgentExchangeStep::Done) {
        answer.error = GetLastError();
        WipeBytes(request);
        return answer;
    }
    char reply[kAgentReplyBufferSize] = {};
    DWORD received = 0;
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceCounter(&start);
    answer.step = ExchangeAgentMessage(pipe.Get(), request, reply, received);
    answer.error = GetLastError();
    QueryPerformanceCounter(&end);
    answer.milliseconds = MillisecondsBetween(start, end);
    if (answer.step == AgentExchangeStep::Done) {
        answer.reply.assign(reply, received);
    }
    return answer;
}

AgentAnswer AskAgentToSignIn(const std::wstring& userName, PCWSTR password) {
    SecureBytes request;
    const HRESULT hr = BuildAgentAuthRequest(userName.c_str(), password, request);
    if (FAILED(hr)) {
        AgentAnswer answer;
        answer.step = AgentExchangeStep::Write;
        answer.error = static_cast<DWORD>(hr);
        return answer;
    }
    return AskAgent(request);
}

AgentAuthResult ModuleVerdictOf(const AgentAnswer& answer) {
    AgentAuthResult result{};
    result.status = AgentAuthNoVerdict;
    if (answer.step == AgentExchangeStep::Done) {
        ReadAgentVerdict(answer.reply, result);
    }
    return result;
}

bool IsApproval(const AgentAnswer& answer) { return ModuleVerdictOf(answer).status == AgentAuthApproved; }

bool FoundEveryInstanceBusy(const AgentAnswer& answer) {
    return (answer.step == AgentExchangeStep::Wait && answer.error == ERROR_SEM_TIMEOUT) ||
           (answer.step == AgentExchangeStep::Open && answer.error == ERROR_PIPE_BUSY);
}

std::string AnswerText(const AgentAnswer& answer) {
    if (answer.step != AgentExchangeStep::Done) {
        return FailureText(answer);
    }
    const AgentAuthResult verdict = ModuleVerdictOf(answer);
    if (verdict.status == AgentAuthApproved) {
        const std::string name = verdict.user_name[0] == L'\0' ? "the typed name" : EscapedForDisplay(verdict.user_name);
        return "approved as " + name + " in " + MillisecondsText(answer.milliseconds);
    }
    return "refused (\"" + EscapedForDisplay(verdict.message) + "\") in " + MillisecondsText(answer.milliseconds);
}
