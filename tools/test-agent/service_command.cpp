// test-agent service install|uninstall|start|stop: the service control manager's side, with a
// message for each outcome. "service run" is service_entry.cpp.
#include "agent_commands.h"

#include "access_grants.h"
#include "agent_file_writers.h"
#include "agent_service.h"
#include "agent_service_command_line.h"
#include "console_output.h"
#include "display_escaping.h"
#include "result_text.h"
#include "user_store_file.h"
#include "utf8_conversion.h"

#include <vector>

namespace {

const std::string kService = Utf8FromWide(kAgentServiceName);

// Says why action failed, in the words an administrator needs; gives the exit code.
int ReportFailure(const std::string& action, HRESULT hr) {
    if (hr == HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST)) {
        WriteErr("test-agent: " + kService + " is not installed\n");
    } else if (hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) {
        WriteErr("test-agent: the service control manager refused to " + action + " " + kService +
                 ": run this from an elevated prompt\n");
    } else if (hr == HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT)) {
        WriteErr("test-agent: " + kService + " did not " + action + " within " +
                 std::to_string(kServiceStateTimeoutMs / 1000) + " s\n");
    } else {
        WriteErr("test-agent: cannot " + action + " " + kService + " (" + FailureText(hr) + ")\n");
    }
    return kAgentExitFailure;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Refuses, saying which account and which path, when an account other than the trusted ones may
// change a file the service will trust, or the folder that holds it.
bool FilesAreSafe(const AgentCommand& command) {
    std::vector<std::wstring> files{ModulePath()};
    for (const std::wstring* given : {&command.usersPath, &command.logPath}) {
        std::wstring absolute;
        if (!given->empty()) {
            files.push_back(SUCCEEDED(AbsolutePath(*given, absolute)) ? absolute : *given);
        }
    }
    UnsafeAgentPath unsafe;
    if (!FindUnsafeAgentPath(WithTheirFolders(files), AgentFileWriters(), unsafe)) {
        return true;
    }
    const std::string path = EscapedPathForDisplay(unsafe.path);
    if (unsafe.error != ERROR_SUCCESS) {
        WriteErr("test-agent: not installing " + kService + ": cannot read who may change " + path + " (" +
                 Win32ErrorText(unsafe.error) + ")\n");
        return false;
    }
    WriteErr("test-agent: not installing " + kService + ": " + ListedAccounts(unsafe.writers) + " may change " + path +
             ", which the service would trust as " + (command.virtualAccount ? "its own account" : "LocalSystem") +
             "; let only LocalSystem, the Administrators, TrustedInstaller and NT SERVICE\\qm-agent change it\n");
    return false;
}

int RunInstall(const AgentCommand& command) {
    // A users file that the service could not load would only show as a service that stops.
    UserStore store;
    std::string error;
    HRESULT hr = LoadUserStore(command.usersPath.c_str(), store, error);
    if (FAILED(hr)) {
        WriteErr("test-agent: " + Utf8FromWide(command.usersPath) + ": " + error + "\n");
        return kAgentExitFailure;
    }
    if (!FilesAreSafe(command)) {
        return kAgentExitFailure;
    }
    std::wstring commandLine;
    hr = AgentServiceCommandLine(ModulePath(), command.usersPath, command.logPath, commandLine);
    if (FAILED(hr)) {
        return ReportFailure("install", hr);
    }
    std::vector<std::wstring> skipped;
    hr = InstallAgentService(commandLine, command.virtualAccount, skipped);
    if (hr == HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS)) {
        WriteErr("test-agent: " + kService + " is already installed; test-agent service uninstall removes it\n");
        return kAgentExitFailure;
    }
    if (FAILED(hr)) {
        return ReportFailure("install", hr);
    }
    WriteOut("test-agent: installed " + kService + ", started at boot, as " +
             (command.virtualAccount ? Utf8FromWide(kAgentVirtualAccount) : std::string("LocalSystem")) + ": " +
             Utf8FromWide(commandLine) + "\n");
    for (const std::wstring& setting : skipped) {
        WriteErr(
            "test-agent: warning: this service control manager does not know a setting, so it was left out; "
            "on Windows: " +
            Utf8FromWide(setting) + "\n");
    }
    return kAgentExitSuccess;
}

int RunUninstall() {
    const HRESULT hr = UninstallAgentService();
    if (hr == HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST)) {
        WriteOut("test-agent: " + kService + " is not installed\n");
        return kAgentExitSuccess;
    }
    if (FAILED(hr)) {
        return ReportFailure("remove", hr);
    }
    WriteOut("test-agent: stopped and removed " + kService + "\n");
    return kAgentExitSuccess;
}

int RunStart() {
    SERVICE_STATUS_PROCESS status{};
    const HRESULT hr = StartAgentService(status);
    if (FAILED(hr)) {
        return ReportFailure("start", hr);
    }
    if (status.dwCurrentState != SERVICE_RUNNING) {
        const std::string why = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR
                                    ? FailureText(static_cast<HRESULT>(status.dwServiceSpecificExitCode))
                                    : Win32ErrorText(status.dwWin32ExitCode);
        WriteErr("test-agent: " + kService + " stopped as it started (" + why + "); its log says more\n");
        return kAgentExitFailure;
    }
    WriteOut("test-agent: " + kService + " runs, process " + std::to_string(status.dwProcessId) + "\n");
    return kAgentExitSuccess;
}

int RunStop() {
    const HRESULT hr = StopAgentService();
    if (FAILED(hr)) {
        return ReportFailure("stop", hr);
    }
    WriteOut("test-agent: " + kService + " stopped\n");
    return kAgentExitSuccess;
}

}  // namespace

int RunService(const AgentCommand& command) {
    switch (command.serviceAction) {
    case ServiceAction::Install: return RunInstall(command);
    case ServiceAction::Uninstall: return RunUninstall();
    case ServiceAction::Start: return RunStart();
    case ServiceAction::Stop: return RunStop();
    case ServiceAction::Run: break;
    }
    return RunServiceEntry(command);
}
