// What serve and the service share: the users file loaded and the pipe served, or one line that
// says why not.
#pragma once

#include "agent_pipe_server.h"
#include "user_store.h"

#include <memory>
#include <string>

class AgentServing {
public:
    // Loads usersPath and starts serving. On success message is the "test-agent: serving ..."
    // line, ending with stopHint; on failure it says what went wrong, and the result is the
    // failure (HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when another server owns the pipe).
    HRESULT Start(const std::wstring& usersPath, const AgentServerOptions& options, RequestLogSink log,
                  const std::string& stopHint, std::string& message) noexcept;

    // Cancels every pending pipe operation, closes every instance and joins their threads.
    void Stop() noexcept;

private:
    UserStore m_store;
    std::unique_ptr<AgentPipeServer> m_server;
};
