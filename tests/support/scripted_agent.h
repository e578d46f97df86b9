// A scripted stand-in for qm-agent: a real named-pipe server on a background thread of the test
// process, for tests of everything that talks to the agent pipe.
//
//   ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK"})"));
//   ASSERT_TRUE(agent.Start());
//   ... run the code under test ...
//   agent.Stop();                       // or let the destructor stop it
//   agent.Requests()[0]                 // the exact bytes the client wrote
//
// - A script (request bytes -> AgentBehaviour) chooses what each connection gets; a fixed
//   AgentBehaviour answers every connection alike. The script runs on the agent's thread.
// - Behaviours: reply with given bytes as one message (any size, empty included), hang up without
//   replying, or hold the connection unanswered until Stop.
// - Faults before the request: inboundOnly makes the client's open fail; readRequests = false
//   with HangUp or Hold makes a long request's write fail or time out.
// - StartBusy() instead keeps the only instance of the name connected to the agent itself, so a
//   client's WaitNamedPipeW runs out its time (ERROR_SEM_TIMEOUT).
// - Connections are served one at a time, in order of arrival; a held connection does not block
//   the next one. A new instance is listening before the previous one is served or closed, so a
//   client never finds the name missing while the agent runs.
// - After a reply the agent waits for the client to close its end, so the reply is never lost to
//   an early disconnect. Stop() cancels whatever is pending, closes every handle and joins the
//   thread; it returns within milliseconds and may be called any number of times. Every client
//   whose exchange ended before Stop() was called is counted and its request recorded.
// - One agent per pipe name: Start() fails (ERROR_ACCESS_DENIED) while any other server, in this
//   or another process, has an instance of the name. Test programs that serve the real agent pipe
//   name are kept from running at the same time by ctest's resource lock (tests/CMakeLists.txt).
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "agent_pipe_name.h"
#include "base/unique_handle.h"
#include "base/secure_bytes.h"

enum class AgentAction {
    Reply,   // write AgentBehaviour::reply as one message, then wait for the client to close
    HangUp,  // disconnect and close without writing anything (the client's read fails: 233)
    Hold,    // keep the connection open and unanswered until Stop()
};

struct AgentBehaviour {
    AgentAction action = AgentAction::Reply;
    std::string reply;  // the message for AgentAction::Reply, byte for byte

    static AgentBehaviour ReplyWith(std::string bytes) { return {AgentAction::Reply, std::move(bytes)}; }
    static AgentBehaviour HangUp() { return {AgentAction::HangUp, {}}; }
    static AgentBehaviour Hold() { return {AgentAction::Hold, {}}; }
};

// The agent guide's DACL: network logons denied, full access for LocalSystem and the
// Administrators, read and write (never create-instance) for interactive users.
inline constexpr wchar_t kSoundAgentPipeDacl[] = L"D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)";

struct ScriptedAgentOptions {
    std::wstring pipeName = kAgentPipeName;  // the name the exchange opens
    // false: the agent never reads; the script is asked with an empty request as soon as the
    // client has begun to write (its first bytes wait in the pipe), so a hang-up falls into the
    // client's write and not before it (the client checks the pipe's owner between its open and
    // its write). With HangUp or Hold, a request longer than inBufferSize then fails or times out
    // in the client's write.
    bool readRequests = true;
    // The agent waits this long (or until Stop) after a client connects before it reads: a slow
    // reader, whose client's long write pends meanwhile.
    DWORD readDelayMs = 0;
    // false: requests are handed to the script but not kept, and every buffer that held one is
    // wiped, so a memory scan after the exchange finds no copy of a password in the agent.
    bool recordRequests = true;
    // true: the pipe is created inbound only, so a client that opens it for reading and writing,
    // as the exchange does, is refused by CreateFileW (ERROR_ACCESS_DENIED).
    bool inboundOnly = false;
    // The pipe's security descriptor as SDDL. Its owner and its DACL are what the exchange
    // trusts or refuses; Wine keeps any given here (and enforces none). Empty: no descriptor,
    // which Wine reports as no owner. The default is the agent guide's: LocalSystem's pipe that
    // only trusted accounts may add instances to.
    std::wstring securitySddl = std::wstring(L"O:SY") + kSoundAgentPipeDacl;
    DWORD inBufferSize = 4096;   // the server end's input buffer (a longer write pends)
    DWORD outBufferSize = 4096;  // the server end's output buffer
};

class ScriptedAgent {
public:
    using Script = std::function<AgentBehaviour(std::string_view request)>;

    explicit ScriptedAgent(Script script, ScriptedAgentOptions options = {});
    explicit ScriptedAgent(AgentBehaviour everyConnection, ScriptedAgentOptions options = {});
    ~ScriptedAgent();

    ScriptedAgent(const ScriptedAgent&) = delete;
    ScriptedAgent& operator=(const ScriptedAgent&) = delete;

    // Serves the pipe name from the moment it returns true. False, with the thread's last error
    // set, when the name's first instance cannot be created. Only once per agent.
    bool Start();

    // Creates the name's only instance and connects to it from this process: the instance stays
    // busy until Stop(), and no connection is counted. False, with the last error set, on failure.
    bool StartBusy();

    // Cancels pending I/O, closes every instance and joins the agent's thread. Idempotent.
    void Stop();

    // Connections accepted so far (a connection counts as soon as the client has opened its end).
    int Connections() const;

    // Waits until at least count connections have been accepted; false after timeoutMs.
    bool WaitForConnections(int count, DWORD timeoutMs) const;

    // The exact request bytes of each served connection, in order (empty for a client that wrote
    // nothing, and for every connection when requests are not read or not recorded).
    std::vector<std::string> Requests() const;

private:
    // False, with the last error set, when this agent already ran or the name is served.
    bool MayStart() const;
    KernelHandle CreateInstance(bool first, DWORD maxInstances) const;
    void Serve(KernelHandle listening);
    // Waits for a client on instance; false when stopping or when the instance failed.
    bool AwaitClient(HANDLE instance);
    // Serves one accepted connection; returns the handle when it is to be held.
    KernelHandle ServeConnection(KernelHandle connection);
    void ReadRequest(HANDLE connection, SecureBytes& request);
    void WaitForClientClose(HANDLE connection);
    // Returns once the client's first bytes are in the pipe, the client has gone, or Stop().
    void WaitForClientWrite(HANDLE connection);
    // Completes an overlapped transfer started on handle: waits for it or for Stop(), cancelling
    // it in the latter case. True when it succeeded; error gets its error code otherwise.
    bool FinishIo(HANDLE handle, OVERLAPPED& overlapped, BOOL completedAtOnce, DWORD& count, DWORD& error);

    const Script m_script;
    const ScriptedAgentOptions m_options;
    KernelHandle m_stopEvent;
    KernelHandle m_ioEvent;  // used by the agent's thread only
    std::thread m_thread;
    std::vector<KernelHandle> m_busyHandles;  // StartBusy's instance and its client end
    bool m_started = false;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_connected;
    int m_connections = 0;
    std::vector<std::string> m_requests;
};
