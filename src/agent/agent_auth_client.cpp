#include "agent/agent_auth_client.h"

#include <new>
#include <string_view>

#include "agent/agent_exchange.h"
#include "agent/agent_reply.h"
#include "agent/agent_text.h"

namespace {

// HRESULT_FROM_WIN32 of the last error, but never a success: a failed wait or open that left no
// error code must not read as S_OK, which a caller could take for a verdict.
HRESULT FailureFromLastError() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The tile's text for an exchange that stopped at step.
PCWSTR FailureText(AgentExchangeStep step) noexcept {
    switch (step) {
    case AgentExchangeStep::Wait: return L"qm-agent unreachable (pipe timeout)";
    case AgentExchangeStep::Open: return L"qm-agent pipe open failed";
    case AgentExchangeStep::Trust: return L"qm-agent pipe server not trusted";
    case AgentExchangeStep::Write: return L"qm-agent pipe write failed";
    default: return L"qm-agent pipe read failed";
    }
}

// The exchange after its arguments were checked and result was reset. Throws std::bad_alloc
// only while reading the verdict, before result holds a verdict.
HRESULT ExchangeWithAgent(PCWSTR userName, PCWSTR password, AgentAuthResult& result) {
    KernelHandle pipe;
    const AgentExchangeStep connected = ConnectToAgent(pipe);
    if (connected != AgentExchangeStep::Done) {
        const HRESULT hr = connected == AgentExchangeStep::Trust ? E_ACCESSDENIED : FailureFromLastError();
        CopyFixedText(result.message, FailureText(connected));
        return hr;
    }

    SecureBytes request;
    const HRESULT hr = BuildAgentAuthRequest(userName, password, request);
    if (FAILED(hr)) {
        return hr;  // E_FAIL or E_OUTOFMEMORY; message stays empty
    }

    char reply[kAgentReplyBufferSize] = {};
    DWORD received = 0;
    const AgentExchangeStep exchanged = ExchangeAgentMessage(pipe.Get(), request, reply, received);
    pipe.Close();
    if (exchanged != AgentExchangeStep::Done) {
        CopyFixedText(result.message, FailureText(exchanged));
        return E_FAIL;
    }

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
