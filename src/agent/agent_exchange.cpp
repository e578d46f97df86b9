#include "agent/agent_exchange.h"

#include <new>
#include <utility>

#include "agent/agent_pipe.h"
#include "agent/agent_request.h"
#include "agent/agent_server_identity.h"
#include "agent/agent_system_calls.h"
#include "agent/json_escape_utf8.h"
#include "agent_pipe_name.h"

AgentExchangeStep ConnectToAgent(KernelHandle& pipe) noexcept {
    pipe.Close();
    if (!g_agentSystemCalls.waitNamedPipe(kAgentPipeName, kAgentPipeWaitMs)) {
        return AgentExchangeStep::Wait;
    }
    KernelHandle opened(OpenAgentPipe());
    if (!opened) {
        return AgentExchangeStep::Open;
    }
    // Before anything of the password is even encoded: a pipe that no trusted account owns gets
    // nothing, and no verdict of it is read.
    if (!IsTrustedAgentServer(opened.Get())) {
        return AgentExchangeStep::Trust;
    }
    // Ignored: the agent creates a message pipe, and if this ever failed the one reply read
    // would still come back whole or fail as too long.
    DWORD readMode = PIPE_READMODE_MESSAGE;
    g_agentSystemCalls.setNamedPipeHandleState(opened.Get(), &readMode, nullptr, nullptr);
    pipe = std::move(opened);
    return AgentExchangeStep::Done;
}

HRESULT BuildAgentAuthRequest(PCWSTR userName, PCWSTR password, SecureBytes& request) noexcept try {
    SecureBytes escapedUserName;
    SecureBytes escapedPassword;
    HRESULT hr = JsonEscapeUtf8(userName, escapedUserName);
    if (SUCCEEDED(hr)) {
        hr = JsonEscapeUtf8(password, escapedPassword);
    }
    if (FAILED(hr)) {
        return hr;
    }
    BuildAgentRequest(escapedUserName, escapedPassword, request);
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;  // the escaped copies wiped themselves on the way out
}

AgentExchangeStep ExchangeAgentMessage(HANDLE pipe, SecureBytes& request, char (&reply)[kAgentReplyBufferSize],
                                       DWORD& received) noexcept {
    received = 0;
    // One deadline for the write and the read, so a slow reader cannot stretch the two bounds.
    const ULONGLONG deadline = GetTickCount64() + kAgentIoTimeoutMs;
    // One event for the write and the read; without it the write fails, as with any other fault.
    KernelHandle transferEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const bool written = request.size() <= MAXDWORD && WritePipeMessage(pipe, transferEvent.Get(), request.data(),
                                                                        static_cast<DWORD>(request.size()), deadline);
    // The buffer wipes itself again when released.
    WipeBytes(request);
    if (!written) {
        return AgentExchangeStep::Write;
    }
    if (!ReadPipeMessage(pipe, transferEvent.Get(), reply, kAgentLargestReply, deadline, &received) || received == 0) {
        return AgentExchangeStep::Read;
    }
    return AgentExchangeStep::Done;
}
