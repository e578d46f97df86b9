#include "support/scripted_agent.h"

#include <sddl.h>

#include <chrono>

#include "base/local_memory.h"

namespace {

constexpr DWORD kReadChunk = 4096;

// Whether any server has an instance of name. Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE, so a
// second agent of the same name is refused by asking first.
bool NameIsServed(const std::wstring& name) {
    return WaitNamedPipeW(name.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

}  // namespace

ScriptedAgent::ScriptedAgent(Script script, ScriptedAgentOptions options)
    : m_script(std::move(script)), m_options(std::move(options)) {}

ScriptedAgent::ScriptedAgent(AgentBehaviour everyConnection, ScriptedAgentOptions options)
    : ScriptedAgent([everyConnection](std::string_view) { return everyConnection; }, std::move(options)) {}

ScriptedAgent::~ScriptedAgent() { Stop(); }

KernelHandle ScriptedAgent::CreateInstance(bool first, DWORD maxInstances) const {
    const DWORD access = m_options.inboundOnly ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_DUPLEX;
    const DWORD openMode = access | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const DWORD pipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    if (!m_options.securitySddl.empty() &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(m_options.securitySddl.c_str(), SDDL_REVISION_1,
                                                              &rawDescriptor, nullptr)) {
        return KernelHandle();
    }
    const LocalMemory descriptor(rawDescriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
    return KernelHandle(CreateNamedPipeW(m_options.pipeName.c_str(), openMode, pipeMode, maxInstances,
                                         m_options.outBufferSize, m_options.inBufferSize, 0,
                                         descriptor ? &attributes : nullptr));
}

bool ScriptedAgent::MayStart() const {
    if (m_started) {
        SetLastError(ERROR_ALREADY_INITIALIZED);
        return false;
    }
    if (NameIsServed(m_options.pipeName)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

bool ScriptedAgent::Start() {
    if (!MayStart()) {
        return false;
    }
    m_stopEvent = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_ioEvent = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stopEvent || !m_ioEvent) {
        return false;
    }
    // Created here rather than on the thread, so the name exists once Start returns.
    KernelHandle first = CreateInstance(true, PIPE_UNLIMITED_INSTANCES);
    if (!first) {
        return false;
    }
    m_started = true;
    m_thread = std::thread(&ScriptedAgent::Serve, this, std::move(first));
    return true;
}

bool ScriptedAgent::StartBusy() {
    if (!MayStart()) {
        return false;
    }
    KernelHandle instance = CreateInstance(true, 1);
    if (!instance) {
        return false;
    }
    KernelHandle client(
        CreateFileW(m_options.pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!client) {
        return false;
    }
    m_started = true;
    m_busyHandles.push_back(std::move(instance));
    m_busyHandles.push_back(std::move(client));
    return true;
}

void ScriptedAgent::Stop() {
    if (m_thread.joinable()) {
        SetEvent(m_stopEvent.Get());
        m_thread.join();
    }
    m_busyHandles.clear();
    m_stopEvent.Close();
    m_ioEvent.Close();
}

int ScriptedAgent::Connections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

bool ScriptedAgent::WaitForConnections(int count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_connected.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_connections >= count; });
}

std::vector<std::string> ScriptedAgent::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

bool ScriptedAgent::FinishIo(HANDLE handle, OVERLAPPED& overlapped, BOOL completedAtOnce, DWORD& count, DWORD& error) {
    if (!completedAtOnce) {
        error = GetLastError();
        // A message longer than the buffer can fail at once with ERROR_MORE_DATA: the part that
        // fits was read, and GetOverlappedResult below gives its count.
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) {
            return false;
        }
        const HANDLE events[] = {overlapped.hEvent, m_stopEvent.Get()};
        if (error == ERROR_IO_PENDING && WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(handle, &overlapped);
        }
    }
    if (GetOverlappedResult(handle, &overlapped, &count, TRUE)) {
        error = ERROR_SUCCESS;
        return true;
    }
    error = GetLastError();
    return false;
}

bool ScriptedAgent::AwaitClient(HANDLE instance) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioEvent.Get();
    ResetEvent(overlapped.hEvent);
    if (!ConnectNamedPipe(instance, &overlapped)) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) {
            return true;  // the client opened its end before we asked (and may have closed it again)
        }
        SetLastError(error);
    }
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS;
    return FinishIo(instance, overlapped, FALSE, count, error);
}

void ScriptedAgent::Serve(KernelHandle listening) {
    std::vector<KernelHandle> held;
    bool stopping = false;
    while (listening && AwaitClient(listening.Get())) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_connections;
        }
        m_connected.notify_all();
        // The next instance listens before this one is served, so the name never disappears.
        KernelHandle next = CreateInstance(false, PIPE_UNLIMITED_INSTANCES);
        KernelHandle kept = ServeConnection(std::move(listening));
        if (kept) {
            held.push_back(std::move(kept));
        }
        listening = std::move(next);
        // Once Stop() is seen, one more pass serves a client that had already opened the listening
        // instance (only one instance listens at a time, so there is at most one); then the agent ends.
        if (stopping) {
            break;
        }
        stopping = WaitForSingleObject(m_stopEvent.Get(), 0) == WAIT_OBJECT_0;
    }
    // Handles close here, the held connections and the listening instance with them.
}

void ScriptedAgent::ReadRequest(HANDLE connection, SecureBytes& request) {
    SecureBytes chunk(kReadChunk);
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_ioEvent.Get();
        ResetEvent(overlapped.hEvent);
        const BOOL completedAtOnce = ReadFile(connection, chunk.data(), kReadChunk, nullptr, &overlapped);
        DWORD count = 0;
        DWORD error = ERROR_SUCCESS;
        const bool whole = FinishIo(connection, overlapped, completedAtOnce, count, error);
        if (whole || error == ERROR_MORE_DATA) {
            request.insert(request.end(), chunk.begin(), chunk.begin() + count);
        }
        if (!whole && error == ERROR_MORE_DATA) {
            continue;
        }
        return;  // the whole message, or the client went away, or Stop()
    }
}

void ScriptedAgent::WaitForClientClose(HANDLE connection) {
    char sink[256];
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_ioEvent.Get();
        ResetEvent(overlapped.hEvent);
        const BOOL completedAtOnce = ReadFile(connection, sink, sizeof sink, nullptr, &overlapped);
        DWORD count = 0;
        DWORD error = ERROR_SUCCESS;
        if (!FinishIo(connection, overlapped, completedAtOnce, count, error) && error != ERROR_MORE_DATA) {
            return;  // broken pipe (the client closed), or Stop()
        }
    }
}

void ScriptedAgent::WaitForClientWrite(HANDLE connection) {
    DWORD available = 0;
    while (PeekNamedPipe(connection, nullptr, 0, nullptr, &available, nullptr) && available == 0) {
        if (WaitForSingleObject(m_stopEvent.Get(), 1) == WAIT_OBJECT_0) {
            return;
        }
    }
}

KernelHandle ScriptedAgent::ServeConnection(KernelHandle connection) {
    SecureBytes request;  // wipes itself: it may hold a password
    if (m_options.readDelayMs != 0) {
        WaitForSingleObject(m_stopEvent.Get(), m_options.readDelayMs);  // Stop() ends the delay
    }
    if (m_options.readRequests) {
        ReadRequest(connection.Get(), request);
    } else {
        WaitForClientWrite(connection.Get());
    }
    if (m_options.recordRequests) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.emplace_back(request.begin(), request.end());
    }
    const AgentBehaviour behaviour = m_script(std::string_view(request.data(), request.size()));

    switch (behaviour.action) {
    case AgentAction::Hold: return connection;
    case AgentAction::HangUp: DisconnectNamedPipe(connection.Get()); return {};
    case AgentAction::Reply: break;
    }

    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioEvent.Get();
    ResetEvent(overlapped.hEvent);
    const BOOL completedAtOnce = WriteFile(connection.Get(), behaviour.reply.data(),
                                           static_cast<DWORD>(behaviour.reply.size()), nullptr, &overlapped);
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS;
    FinishIo(connection.Get(), overlapped, completedAtOnce, count, error);  // a client that left early is fine
    WaitForClientClose(connection.Get());
    DisconnectNamedPipe(connection.Get());
    return {};
}
