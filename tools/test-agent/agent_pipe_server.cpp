#include "agent_pipe_server.h"

#include "auth_request_handler.h"
#include "overlapped_pipe_io.h"
#include "pipe_client_account.h"
#include "pipe_security.h"
#include "request_log_line.h"
#include "wiping_allocator.h"
#include "win32_error_name.h"

#include <new>

namespace {

inline constexpr DWORD kPipeBufferBytes = 4096;
inline constexpr DWORD kReplyWriteTimeoutMs = 5000;
// After the reply, the instance waits this long for the client to read it and close. Closing
// earlier (DisconnectNamedPipe) would discard a reply the client has not read yet.
inline constexpr DWORD kClientCloseTimeoutMs = 5000;

// The name is taken when any instance exists, free or busy. FILE_FLAG_FIRST_PIPE_INSTANCE says
// the same atomically on Windows, but Wine ignores the flag, so this check comes first.
bool PipeNameTaken(const std::wstring& name) noexcept {
    return WaitNamedPipeW(name.c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

}  // namespace

AgentPipeServer::AgentPipeServer(const UserStore& store, AgentServerOptions options, RequestLogSink log)
    : m_store(store), m_options(std::move(options)), m_log(std::move(log)) {}

AgentPipeServer::~AgentPipeServer() { Stop(); }

HRESULT AgentPipeServer::Start() noexcept try {
    if (m_options.instances == 0 || m_options.instances > PIPE_UNLIMITED_INSTANCES - 1) {
        return E_INVALIDARG;
    }
    if (PipeNameTaken(m_options.pipeName)) {
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    PipeSecurity security;
    HRESULT hr = security.Create();
    if (FAILED(hr)) {
        return hr;
    }
    m_stopEvent = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stopEvent) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    for (DWORD i = 0; i < m_options.instances; ++i) {
        const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        KernelHandle pipe(
            CreateNamedPipeW(m_options.pipeName.c_str(), openMode,
                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                             m_options.instances, kPipeBufferBytes, kPipeBufferBytes, 0, security.Attributes()));
        if (!pipe) {
            const DWORD error = GetLastError();
            m_pipes.clear();
            return HRESULT_FROM_WIN32(error == ERROR_ACCESS_DENIED && i == 0 ? ERROR_ALREADY_EXISTS : error);
        }
        m_pipes.push_back(std::move(pipe));
    }
    for (KernelHandle& pipe : m_pipes) {
        m_threads.emplace_back(&AgentPipeServer::ServeInstance, this, pipe.Get());
    }
    return S_OK;
} catch (const std::exception&) {
    Stop();
    return E_OUTOFMEMORY;
}

void AgentPipeServer::Stop() noexcept {
    if (m_stopEvent) {
        SetEvent(m_stopEvent.Get());
    }
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    m_threads.clear();
    m_pipes.clear();
}

void AgentPipeServer::ServeInstance(HANDLE pipe) noexcept {
    KernelHandle ioEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent) {
        return;
    }
    // One request buffer per instance, wiped after every request and freed through the wiping
    // allocator: it holds the password as the client sent it.
    SecretBytes request;
    try {
        request.resize(kMaxRequestBytes);
    } catch (const std::bad_alloc&) {
        return;
    }
    while (WaitForSingleObject(m_stopEvent.Get(), 0) == WAIT_TIMEOUT) {
        OverlappedPipeIo io(pipe, ioEvent.Get(), m_stopEvent.Get());
        const DWORD connected = io.Connect();
        if (connected == kIoStopped) {
            break;
        }
        if (connected != ERROR_SUCCESS) {
            // For instance a client that came and went before the connect (ERROR_NO_DATA): reset
            // the instance, and pause briefly so that a lasting error cannot spin this thread.
            DisconnectNamedPipe(pipe);
            WaitForSingleObject(m_stopEvent.Get(), 10);
            continue;
        }
        ServeOneClient(pipe, ioEvent.Get(), request.data());
        DisconnectNamedPipe(pipe);
    }
}

void AgentPipeServer::ServeOneClient(HANDLE pipe, HANDLE ioEvent, char* request) noexcept {
    const ULONGLONG start = GetTickCount64();
    OverlappedPipeIo io(pipe, ioEvent, m_stopEvent.Get());
    DWORD size = 0;
    // One read takes the whole message, so its time-out is the request's one deadline.
    DWORD error = io.Read(request, kMaxRequestBytes, m_options.requestTimeoutMs, size);
    if (error == kIoStopped) {
        SecureZeroMemory(request, kMaxRequestBytes);
        return;
    }
    // Whoever sent something can be identified now; one that sent nothing may not be.
    const std::wstring caller = PipeClientAccount(pipe);
    if (error != ERROR_SUCCESS) {
        SecureZeroMemory(request, kMaxRequestBytes);
        // ServeInstance disconnects the instance at once: the rest of an oversized message is
        // never read.
        Log(caller, "-",
            error == ERROR_MORE_DATA ? "DROPPED (request over " + std::to_string(kMaxRequestBytes) + " bytes)"
            : error == kIoTimedOut   ? std::string("DROPPED (no request in time)")
                                     : std::string("DROPPED (client left before a request)"),
            start);
        return;
    }
    const AgentDecision decision = HandleAuthRequest(request, size, m_store);
    SecureZeroMemory(request, kMaxRequestBytes);

    if (m_options.neverAnswer) {
        Log(caller, decision.logUser, "NO ANSWER (would be " + decision.verdict + ")", start);
        io.AwaitClientClose(INFINITE);
        return;
    }
    if (m_options.replyDelayMs != 0 &&
        WaitForSingleObject(m_stopEvent.Get(), m_options.replyDelayMs) == WAIT_OBJECT_0) {
        return;
    }
    error = io.Write(decision.reply.data(), static_cast<DWORD>(decision.reply.size()), kReplyWriteTimeoutMs);
    if (error == kIoStopped) {
        return;
    }
    Log(caller, decision.logUser,
        error == ERROR_SUCCESS ? decision.verdict
                               : decision.verdict + " (reply not delivered, " + Win32ErrorNumberText(error) + ")",
        start);
    if (error == ERROR_SUCCESS) {
        io.AwaitClientClose(kClientCloseTimeoutMs);
    }
}

void AgentPipeServer::Log(const std::wstring& caller, const std::string& user, const std::string& verdict,
                          ULONGLONG startTick) noexcept try {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const std::string line = FormatRequestLogLine(now, caller, user, verdict, GetTickCount64() - startTick);
    std::lock_guard<std::mutex> guard(m_logLock);
    if (m_log) {
        m_log(line);
    }
} catch (const std::exception&) {
    // A line that cannot be formatted is lost; serving goes on.
}
