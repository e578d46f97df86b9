#include "agent_service_checks.h"

#include "base/unique_handle.h"
#include "display_escaping.h"
#include "service_query_calls.h"

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

std::string RunState(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!g_serviceQueryCalls.queryServiceStatus(service, &status)) {
        return "state unknown";
    }
    return status.dwCurrentState == SERVICE_RUNNING ? "running" : "not running";
}

void CheckStartType(CheckReport& report, SC_HANDLE service, DWORD startType) {
    const std::string state = RunState(service);
    if (startType == SERVICE_AUTO_START && !IsDelayed(service)) {
        AddCheck(report, "agent service start", CheckStatus::Ok, "automatic, " + state);
        return;
    }
    if (startType == SERVICE_AUTO_START) {
        AddCheck(report, "agent service start", CheckStatus::Warn,
                 "automatic (delayed), " + state + ": sign-ins with the tile are refused until it starts",
                 "sc.exe config qm-agent start= auto");
        return;
    }
    const char* type = startType == SERVICE_DEMAND_START ? "manual"
                       : startType == SERVICE_DISABLED   ? "disabled"
                                                         : "other";
    AddCheck(report, "agent service start", CheckStatus::Fail,
             std::string(type) + ", " + state + ": after a restart every sign-in with the tile is refused",
             "sc.exe config qm-agent start= auto");
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
                 "the service SID type cannot be read (error " + std::to_string(error) + ")",
                 "check it with: sc.exe qsidtype qm-agent");
        return;
    }
    const DWORD type = reinterpret_cast<SERVICE_SID_INFO*>(buffer.data())->dwServiceSidType;
    if (type == SERVICE_SID_TYPE_NONE) {
        AddCheck(
            report, "agent service SID", CheckStatus::Warn,
            "SID type none: the service has no NT SERVICE\\qm-agent SID, so it cannot own its pipe as that account",
            "sc.exe sidtype qm-agent unrestricted");
        return;
    }
    AddCheck(report, "agent service SID", CheckStatus::Ok,
             type == SERVICE_SID_TYPE_UNRESTRICTED ? "unrestricted: NT SERVICE\\qm-agent"
                                                   : "restricted: NT SERVICE\\qm-agent");
}

}  // namespace

void CheckAgentService(CheckReport& report) {
    ServiceHandle manager(g_serviceQueryCalls.openSCManager(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        const DWORD error = GetLastError();
        AddCheck(report, "agent service", CheckStatus::Warn,
                 "the service manager cannot be asked (error " + std::to_string(error) + ")",
                 "run credhost doctor from an elevated prompt");
        return;
    }
    ServiceHandle service(
        g_serviceQueryCalls.openService(manager.Get(), kAgentServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD error = GetLastError();
        AddCheck(report, "agent service", error == ERROR_SERVICE_DOES_NOT_EXIST ? CheckStatus::Ok : CheckStatus::Warn,
                 error == ERROR_SERVICE_DOES_NOT_EXIST
                     ? "no service named qm-agent: the agent runs some other way"
                     : "the qm-agent service cannot be opened (error " + std::to_string(error) + ")");
        return;
    }
    std::vector<BYTE> buffer;
    const QUERY_SERVICE_CONFIGW* config = QueryConfig(service.Get(), buffer);
    if (config == nullptr) {
        const DWORD error = GetLastError();
        AddCheck(report, "agent service", CheckStatus::Warn,
                 "the qm-agent service's configuration cannot be read (error " + std::to_string(error) + ")");
        return;
    }
    CheckStartType(report, service.Get(), config->dwStartType);
    CheckAccount(report, config->lpServiceStartName);
    CheckSidType(report, service.Get());
}
