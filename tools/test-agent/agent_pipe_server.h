// The test agent's server end of the agent pipe: several message-mode instances, each served by
// its own thread, so that one slow or silent client never holds up the next. Every wait is
// bounded or ends at Stop().
#pragma once

#include "agent_pipe_name.h"
#include "base/kernel_handle.h"
#include "user_store.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Largest request read; a longer message is drained and refused as too large.
inline constexpr DWORD kMaxRequestBytes = 16 * 1024;

struct AgentServerOptions {
    std::wstring pipeName = kAgentPipeName;
    DWORD instances = 4;
    DWORD replyDelayMs = 0;          // wait this long before each reply
    bool neverAnswer = false;        // read and decide, but never reply; hold the connection
    DWORD requestTimeoutMs = 10000;  // drop a client that sends no complete request in this time
};

// Receives one finished line per request; called from the instances' threads, one at a time.
using RequestLogSink = std::function<void(const std::string& line)>;

class AgentPipeServer {
public:
    AgentPipeServer(const UserStore& store, AgentServerOptions options, RequestLogSink log);
    ~AgentPipeServer();
    AgentPipeServer(const AgentPipeServer&) = delete;
    AgentPipeServer& operator=(const AgentPipeServer&) = delete;

    // Creates every instance, then starts serving. Fails with
    // HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when another server owns the pipe name.
    HRESULT Start() noexcept;

    // Ends every wait, cancels pending I/O and joins the threads. Safe to call twice.
    void Stop() noexcept;

private:
    void ServeInstance(HANDLE pipe) noexcept;
    void ServeOneClient(HANDLE pipe, HANDLE ioEvent, char* request) noexcept;
    void Log(const std::string& user, const std::string& verdict, ULONGLONG startTick) noexcept;

    const UserStore& m_store;
    AgentServerOptions m_options;
    RequestLogSink m_log;
    std::mutex m_logLock;
    KernelHandle m_stopEvent;
    std::vector<KernelHandle> m_pipes;
    std::vector<std::thread> m_threads;
};
