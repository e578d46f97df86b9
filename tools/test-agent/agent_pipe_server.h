// The test agent's server end of the agent pipe: several message-mode instances, each served by
// its own thread, so that one slow or silent client never holds up the next. Every wait is
// bounded or ends at Stop().
#pragma once

#include "agent_pipe_name.h"
#include "base/unique_handle.h"
#include "user_store.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The longest request the module can send, which the server reads whole. A longer message is
// not read on: the instance is disconnected at once, since draining it would let one client hold
// the instance for as long as it keeps writing. The module refuses a password longer than a
// logon can carry, 32 767 UTF-16 units, before it asks. It does not bound the typed name, but a
// name longer than that cannot be signed in either, so the server admits one of the same length.
// A UTF-16 unit escapes to at most six bytes: a control character other than \b \t \n \f \r is
// one UTF-8 byte sent as "\u00xx"; any other unit is at most three UTF-8 bytes, none of them
// escaped, and a quotation mark or a backslash takes two. So: 45 bytes of framing
// + 2 x 32 767 x 6 = 393 249.
inline constexpr DWORD kMaxRequestTextUnits = 32767;
inline constexpr DWORD kMaxEscapedBytesPerUnit = 6;
inline constexpr DWORD kRequestFramingBytes = sizeof(R"({"action":"AUTH","username":"","password":""})") - 1;
inline constexpr DWORD kMaxRequestBytes = kRequestFramingBytes + 2 * kMaxRequestTextUnits * kMaxEscapedBytesPerUnit;
static_assert(kMaxRequestBytes == 393249, "the figure that docs/agent-guide.md gives");

// Instances served at once. Any local user may connect, and one that connects and sends nothing
// holds an instance until the request deadline; the module waits 5 s for a free instance and
// does not retry. With twice the four that a small flood takes, as many stay free as the flood
// holds. Each costs a thread and a request buffer (kMaxRequestBytes).
inline constexpr DWORD kDefaultAgentInstances = 8;

struct AgentServerOptions {
    std::wstring pipeName = kAgentPipeName;
    DWORD instances = kDefaultAgentInstances;
    DWORD replyDelayMs = 0;    // wait this long before each reply
    bool neverAnswer = false;  // read and decide, but never reply; hold the connection
    // One deadline for the whole request, counted from the connection: a client that has not
    // sent one complete message by then (nothing at all, or not all of it) is dropped.
    DWORD requestTimeoutMs = 10000;
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
    void Log(const std::wstring& caller, const std::string& user, const std::string& verdict,
             ULONGLONG startTick) noexcept;

    const UserStore& m_store;
    AgentServerOptions m_options;
    RequestLogSink m_log;
    std::mutex m_logLock;
    KernelHandle m_stopEvent;
    std::vector<KernelHandle> m_pipes;
    std::vector<std::thread> m_threads;
};
