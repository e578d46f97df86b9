#include "agent_serving.h"

#include "result_text.h"
#include "user_store_file.h"
#include "utf8_conversion.h"

#include <new>

namespace {

std::string StartFailureText(HRESULT hr, const std::wstring& pipeName) {
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
        return "test-agent: another server already owns " + Utf8FromWide(pipeName);
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_OWNER)) {
        return "test-agent: this account cannot own the pipe: qm-credprovider trusts only a pipe owned by "
               "LocalSystem, the Administrators or NT SERVICE\\qm-agent; run test-agent as the qm-agent "
               "service or from an elevated prompt";
    }
    return "test-agent: cannot create the pipe (" + HResultText(hr) + ")";
}

std::string ServingText(const UserStore& store, const AgentServerOptions& options, const std::string& stopHint) {
    const std::string mode = options.neverAnswer ? ", never answering"
                             : options.replyDelayMs != 0
                                 ? ", replies delayed by " + std::to_string(options.replyDelayMs) + " ms"
                                 : "";
    return "test-agent: serving " + Utf8FromWide(options.pipeName) + " for " + std::to_string(store.Users().size()) +
           " user(s), " + std::to_string(options.instances) + " instances" + mode + " (not the production agent; " +
           stopHint + ")";
}

}  // namespace

HRESULT AgentServing::Start(const std::wstring& usersPath, const AgentServerOptions& options, RequestLogSink log,
                            const std::string& stopHint, std::string& message) noexcept try {
    std::string error;
    HRESULT hr = LoadUserStore(usersPath.c_str(), m_store, error);
    if (FAILED(hr)) {
        message = "test-agent: " + Utf8FromWide(usersPath) + ": " + error + " (" + HResultText(hr) + ")";
        return hr;
    }
    m_server = std::make_unique<AgentPipeServer>(m_store, options, std::move(log));
    hr = m_server->Start();
    if (FAILED(hr)) {
        m_server.reset();
        message = StartFailureText(hr, options.pipeName);
        return hr;
    }
    message = ServingText(m_store, options, stopHint);
    return S_OK;
} catch (const std::bad_alloc&) {
    m_server.reset();
    message = "test-agent: out of memory";
    return E_OUTOFMEMORY;
}

void AgentServing::Stop() noexcept {
    if (m_server) {
        m_server->Stop();
    }
}
