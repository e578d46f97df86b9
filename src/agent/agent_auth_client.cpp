#include "agent/agent_auth_client.h"

#include <new>
#include <string_view>

#include "agent/agent_pipe.h"
#include "agent/agent_pipe_protocol.h"
#include "agent/agent_reply.h"
#include "agent/agent_request.h"
#include "agent/agent_server_identity.h"
#include "agent/agent_system_calls.h"
#include "agent/agent_text.h"
#include "agent/json_escape_utf8.h"
#include "base/unique_handle.h"
#include "base/secure_bytes.h"
#include "agent_pipe_name.h"

namespace {

// HRESULT_FROM_WIN32 of the last error, but never a success: a failed wait or open that left no
// error code must not read as S_OK, which a caller could take for a verdict.
HRESULT FailureFromLastError() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The exchange after its arguments were checked and result was reset. Throws std::bad_alloc
// only while building the request or reading the verdict, before result holds a verdict.
HRESULT ExchangeWithAgent(PCWSTR userName, PCWSTR password, AgentAuthResult& result) {
    if (!g_agentSystemCalls.waitNamedPipe(kAgentPipeName, kAgentPipeWaitMs)) {
        const HRESULT hr = FailureFromLastError();
        CopyFixedText(result.message, L"qm-agent unreachable (pipe timeout)");
        return hr;
    }

    // No retry when another client took the free instance first: the user may submit again.
    KernelHandle pipe(OpenAgentPipe());
    if (!pipe) {
        const HRESULT hr = FailureFromLastError();
        CopyFixedText(result.message, L"qm-agent pipe open failed");
        return hr;
    }

    // Before anything of the password is even encoded: a pipe that no trusted account owns gets
    // nothing, and no verdict of it is read.
    if (!IsTrustedAgentServer(pipe.Get())) {
        pipe.Close();
        CopyFixedText(result.message, L"qm-agent pipe server not trusted");
        return E_ACCESSDENIED;
    }

    // Ignored: the agent creates a message pipe, and if this ever failed the one reply read
    // below would still come back whole or fail as too long.
    DWORD readMode = PIPE_READMODE_MESSAGE;
    g_agentSystemCalls.setNamedPipeHandleState(pipe.Get(), &readMode, nullptr, nullptr);

    SecureBytes escapedUserName;
    SecureBytes escapedPassword;
    HRESULT hr = JsonEscapeUtf8(userName, escapedUserName);
    if (SUCCEEDED(hr)) {
        hr = JsonEscapeUtf8(password, escapedPassword);
    }
    if (FAILED(hr)) {
        return hr;  // E_FAIL or E_OUTOFMEMORY; message stays empty
    }

    SecureBytes request;
    BuildAgentRequest(escapedUserName, escapedPassword, request);
    // One deadline for the write and the read, so a slow reader cannot stretch the two bounds.
    const ULONGLONG deadline = GetTickCount64() + kAgentIoTimeoutMs;
    // One event for the write and the read; without it the write fails, as with any other fault.
    KernelHandle transferEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const bool written = request.size() <= MAXDWORD && WritePipeMessage(pipe.Get(), transferEvent.Get(), request.data(),
                                                                        static_cast<DWORD>(request.size()), deadline);
    // The password must not stay readable in this process one moment longer than the write needs,
    // whatever the write's outcome. The buffers wipe themselves again when released.
    WipeBytes(request);
    WipeBytes(escapedPassword);
    if (!written) {
        pipe.Close();
        CopyFixedText(result.message, L"qm-agent pipe write failed");
        return E_FAIL;
    }

    char reply[kAgentReplyBufferSize] = {};
    DWORD received = 0;
    if (!ReadPipeMessage(pipe.Get(), transferEvent.Get(), reply, kAgentLargestReply, deadline, &received) ||
        received == 0) {
        pipe.Close();
        CopyFixedText(result.message, L"qm-agent pipe read failed");
        return E_FAIL;
    }
    pipe.Close();

    ReadAgentVerdict(std::string_view(reply, received), result);
    return S_OK;
}

}  // namespace

HRESULT AgentAuthClient(PCWSTR userName, PCWSTR password, AgentAuthResult* result) noexcept {
    if (userName == nullptr || password == nullptr || result == nullptr) {
        return E_INVALIDARG;
    }
    ZeroMemory(result, sizeof *result);
    result->status = AgentAuthNoVerdict;

    try {
        return ExchangeWithAgent(userName, password, *result);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // thrown before any verdict was stored: status is still no verdict
    }
}
