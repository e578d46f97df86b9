#include "agent_service_checks.h"

#include "base/unique_handle.h"
#include "display_escaping.h"
#include "service_query_calls.h"
#include "win32_error_name.h"

#include <string>
#include <vector>

namespace {

void CloseServiceHandleThroughTable(SC_HANDLE handle) noexcept { g_serviceQueryCalls.closeServiceHandle(handle); }

using ServiceHandle = UniqueHandle<SC_HANDLE, CloseServiceHandleThroughTable>;

// Enough for the small records of QueryServiceConfig2W; a larger one is asked for again.
constexpr size_t kFirstBufferBytes = 64;

// QueryServiceConfig2W's record for level, in buffer; false with the error when it fails.
bool QueryConfig2(SC_HANDLE service, DWORD level, std::vector<BYTE>& buffer, DWORD& error) {
    DWORD needed = 0;
    buffer.assign(kFirstBufferBytes, 0);
    if (g_serviceQueryCalls.queryServiceConfig2(service, level, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                &needed)) {
        return true;
    }
    error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    buffer.assign(needed, 0);
    if (g_serviceQueryCalls.queryServiceConfig2(service, level, buffer.data(), needed, &needed)) {
        return true;
    }
    error = GetLastError();
    return false;
}

// QueryServiceConfigW's record, in buffer; null with the last error set when it fails.
QUERY_SERVICE_CONFIGW* QueryConfig(SC_HANDLE service, std::vector<BYTE>& buffer) {
    DWORD needed = 0;
    if (g_serviceQueryCalls.queryServiceConfig(service, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return nullptr;
    }
    buffer.assign(needed, 0);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    return g_serviceQueryCalls.queryServiceConfig(service, config, needed, &needed) ? config : nullptr;
}

bool IsDelayed(SC_HANDLE service) {
    std::vector<BYTE> buffer;
    DWORD error = 0;
    return QueryConfig2(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, buffer, error) &&
           reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(buffer.data())->fDelayedAutostart;
}

enum class RunState { Running, NotRunning, Unknown };

RunState RunStateOf(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!g_serviceQueryCalls.queryServiceStatus(service, &status)) {
        return RunState::Unknown;
    }
    return status.dwCurrentState == SERVICE_RUNNING ? RunState::Running : RunState::NotRunning;
}

const char* RunStateText(RunState state) {
    switch (state) {
    case RunState::Running: return "running";
    case RunState::NotRunning: return "not running";
    default: return "state unknown";
    }
}

const std::string kStartAtBootHint = "sc.exe config qm-agent start= auto";
const std::string kStartNowHint = "sc.exe start qm-agent, and make it start at boot: sc.exe config qm-agent start= auto";

void CheckStartType(CheckReport& report, SC_HANDLE service, DWORD startType) {
    const RunState state = RunStateOf(service);
    const std::string stateText = RunStateText(state);
    const bool automatic = startType == SERVICE_AUTO_START;
    const bool delayed = automatic && IsDelayed(service);
    const char* type = delayed                           ? "automatic (delayed)"
                       : automatic                       ? "automatic"
                       : startType == SERVICE_DEMAND_START ? "manual"
                       : startType == SERVICE_DISABLED   ? "disabled"
                                                         : "other";
    // Whatever its start type, a service that is not running now leaves the tile refusing now.
    if (state == RunState::NotRunning) {
        AddCheck(report, "agent service start", CheckStatus::Fail,
                 std::string(type) + ", not running: the tile refuses every sign-in until the service runs",
                 automatic && !delayed ? "sc.exe start qm-agent" : kStartNowHint);
        return;
    }
    if (automatic && !delayed) {
        AddCheck(report, "agent service start", CheckStatus::Ok, std::string(type) + ", " + stateText);
        return;
    }
    if (delayed) {
        AddCheck(report, "agent service start", CheckStatus::Warn,
                 std::string(type) + ", " + stateText + ": sign-ins with the tile are refused until it starts",
                 kStartAtBootHint);
        return;
    }
    AddCheck(report, "agent service start", CheckStatus::Fail,
             std::string(type) + ", " + stateText + ": after a restart every sign-in with the tile is refused",
             kStartAtBootHint);
}

void CheckAccount(CheckReport& report, const wchar_t* account) {
    const std::wstring name = account == nullptr ? L"" : account;
    const bool localSystem = CompareStringOrdinal(name.c_str(), -1, L"LocalSystem", -1, TRUE) == CSTR_EQUAL;
    const bool virtualAccount = CompareStringOrdinal(name.c_str(), -1, kAgentVirtualAccount, -1, TRUE) == CSTR_EQUAL;
    if (localSystem || virtualAccount) {
        AddCheck(report, "agent service account", CheckStatus::Ok, EscapedPathForDisplay(name));
        return;
    }
    AddCheck(
        report, "agent service account", CheckStatus::Warn,
        EscapedPathForDisplay(name) +
            ": the module trusts the pipe only when LocalSystem, the Administrators or NT SERVICE\\qm-agent own "
            "it",
        "run the agent as LocalSystem or as NT SERVICE\\qm-agent: sc.exe config qm-agent obj= \"NT SERVICE\\qm-agent\"");
}

void CheckSidType(CheckReport& report, SC_HANDLE service) {
    std::vector<BYTE> buffer;
    DWORD error = 0;
    if (!QueryConfig2(service, SERVICE_CONFIG_SERVICE_SID_INFO, buffer, error)) {
        AddCheck(report, "agent service SID", CheckStatus::Warn,
                 "the service SID type cannot be read (" + Win32ErrorNumberText(error) + ")",
                 "check it with: sc.exe qsidtype qm-agent");
        return;
    }
    const DWORD type = reinterpret_cast<SERVICE_SID_INFO*>(buffer.data())->dwServiceSidType;
    if (type == SERVICE_SID_TYPE_NONE) {
        AddCheck(
            report, "agent service SID", CheckStatus::Warn,
            "SID type none: the service has no NT SERVICE\\qm-agent SID, so it cannot own its pipe as that account",
            "sc.exe sidtype qm-agent unrestricted, then restart Windows: a new SID type takes effect at the next "
            "system start");
        return;
    }
    AddCheck(report, "agent service SID", CheckStatus::Ok,
             type == SERVICE_SID_TYPE_UNRESTRICTED ? "unrestricted: NT SERVICE\\qm-agent"
                                                   : "restricted: NT SERVICE\\qm-agent");
}

}  // namespace

void CheckAgentService(CheckReport& report, bool pipeServed) {
    ServiceHandle manager(g_serviceQueryCalls.openSCManager(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        const DWORD error = GetLastError();
        AddCheck(report, "agent service", CheckStatus::Warn,
                 "the service manager cannot be asked (" + Win32ErrorNumberText(error) + ")",
                 "run credhost doctor from an elevated prompt");
        return;
    }
    ServiceHandle service(
        g_serviceQueryCalls.openService(manager.Get(), kAgentServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    const DWORD openError = service ? ERROR_SUCCESS : GetLastError();
    // With no service and no pipe, the pipe's line has already said that no agent runs.
    if (openError == ERROR_SERVICE_DOES_NOT_EXIST && !pipeServed) {
        return;
    }
    if (openError == ERROR_SERVICE_DOES_NOT_EXIST) {
        AddCheck(report, "agent service", CheckStatus::Ok, "no service named qm-agent: the agent runs some other way");
        return;
    }
    if (!service) {
        AddCheck(report, "agent service", CheckStatus::Warn,
                 "the qm-agent service cannot be opened (" + Win32ErrorNumberText(openError) + ")",
                 "run credhost doctor from an elevated prompt");
        return;
    }
    std::vector<BYTE> buffer;
    const QUERY_SERVICE_CONFIGW* config = QueryConfig(service.Get(), buffer);
    if (config == nullptr) {
        const DWORD error = GetLastError();
        AddCheck(report, "agent service", CheckStatus::Warn,
                 "the qm-agent service's configuration cannot be read (" + Win32ErrorNumberText(error) + ")",
                 "run credhost doctor from an elevated prompt");
        return;
    }
    CheckStartType(report, service.Get(), config->dwStartType);
    CheckAccount(report, config->lpServiceStartName);
    CheckSidType(report, service.Get());
}
