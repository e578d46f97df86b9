// The service's side of qm-agent: the entry point that the service control manager's dispatcher
// calls, and the control handler that answers stop and shutdown at once.
#include "agent_commands.h"

#include "agent_service.h"
#include "agent_serving.h"
#include "console_output.h"
#include "request_log_file.h"
#include "win32_error_name.h"

#include <mutex>

namespace {

// How long the service control manager should wait between two reports of a pending state.
inline constexpr DWORD kPendingWaitHintMs = 10000;

class AgentServiceRun {
public:
    explicit AgentServiceRun(const AgentCommand& command) noexcept : m_command(command) {}

    // Serves until the stop or shutdown control, reporting each state on the way.
    void Main() noexcept;

private:
    // The dispatcher calls this on its own thread for every control the service receives.
    static DWORD WINAPI OnControl(DWORD control, DWORD eventType, void* eventData, void* context) noexcept;

    void Report(DWORD state, HRESULT exitResult = S_OK) noexcept;

    const AgentCommand& m_command;
    SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
    std::mutex m_statusLock;
    DWORD m_checkPoint = 0;
    KernelHandle m_stop;
    RequestLogFile m_log;
};

void AgentServiceRun::Main() noexcept {
    m_stop = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_statusHandle = RegisterServiceCtrlHandlerExW(kAgentServiceName, OnControl, this);
    if (m_statusHandle == nullptr) {
        return;
    }
    Report(SERVICE_START_PENDING);
    HRESULT hr = m_stop ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(hr) && !m_command.logPath.empty()) {
        hr = m_log.Open(m_command.logPath);
    }
    if (FAILED(hr)) {
        Report(SERVICE_STOPPED, hr);
        return;
    }
    // The pipe exists before the service reports that it runs: whoever waited for the start can
    // sign in at once.
    AgentServing serving;
    std::string message;
    hr = serving.Start(
        m_command.usersPath, AgentServerOptions{}, [this](const std::string& line) { m_log.Append(line); },
        "test-agent service stop stops it", message);
    m_log.Append(message);
    if (FAILED(hr)) {
        Report(SERVICE_STOPPED, hr);
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(m_stop.Get(), INFINITE);
    serving.Stop();
    m_log.Append("test-agent: stopped");
    Report(SERVICE_STOPPED);
}

DWORD WINAPI AgentServiceRun::OnControl(DWORD control, DWORD, void*, void* context) noexcept {
    AgentServiceRun* run = static_cast<AgentServiceRun*>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        // Answered at once: the main function cancels every pending pipe operation and closes
        // every instance, so a client in the middle of an exchange sees its pipe break.
        run->Report(SERVICE_STOP_PENDING);
        SetEvent(run->m_stop.Get());
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// A failure reaches the service control manager as its Win32 code, or as a service-specific
// code that carries the HRESULT whole; "test-agent service start" reads either back.
void AgentServiceRun::Report(DWORD state, HRESULT exitResult) noexcept {
    std::lock_guard<std::mutex> guard(m_statusLock);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    const bool win32 = HRESULT_FACILITY(exitResult) == FACILITY_WIN32;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = SUCCEEDED(exitResult) ? NO_ERROR
                             : win32               ? HRESULT_CODE(exitResult)
                                                   : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = FAILED(exitResult) && !win32 ? static_cast<DWORD>(exitResult) : 0;
    status.dwCheckPoint = pending ? ++m_checkPoint : 0;
    status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
    SetServiceStatus(m_statusHandle, &status);
}

// ServiceMain has no context argument: the command it serves is handed over through this.
const AgentCommand* g_serviceCommand = nullptr;

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    AgentServiceRun run(*g_serviceCommand);
    run.Main();
}

}  // namespace

int RunServiceEntry(const AgentCommand& command) {
    g_serviceCommand = &command;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kAgentServiceName), ServiceMain}, {nullptr, nullptr}};
    // Returns once the service has reported that it stopped.
    if (StartServiceCtrlDispatcherW(table)) {
        return kAgentExitSuccess;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        WriteErr(
            "test-agent: service run is what the service control manager starts; use test-agent service start, "
            "or serve on a console\n");
        return kAgentExitUsage;
    }
    WriteErr("test-agent: cannot reach the service control manager (" + Win32ErrorNumberText(error) + ")\n");
    return kAgentExitFailure;
}
