#include "agent_service.h"

#include "service_handle.h"

#include <new>

namespace {

// One setting of ChangeServiceConfig2W. S_FALSE when the service control manager does not know
// the level: the caller names the setting's sc command for the administrator to run by hand.
HRESULT ApplySetting(SC_HANDLE service, DWORD level, void* setting) noexcept {
    if (g_serviceSystemCalls.changeServiceConfig2(service, level, setting)) {
        return S_OK;
    }
    const HRESULT hr = ServiceCallFailure();
    return hr == HRESULT_FROM_WIN32(ERROR_INVALID_LEVEL) ? S_FALSE : hr;
}

HRESULT ApplySettings(SC_HANDLE service, std::vector<std::wstring>& skipped) {
    SERVICE_SID_INFO sidInfo{SERVICE_SID_TYPE_UNRESTRICTED};
    SC_ACTION actions[ARRAYSIZE(kRestartDelaysMs)];
    for (size_t i = 0; i < ARRAYSIZE(kRestartDelaysMs); ++i) {
        actions[i] = SC_ACTION{SC_ACTION_RESTART, kRestartDelaysMs[i]};
    }
    SERVICE_FAILURE_ACTIONSW failureActions{kFailureCountResetSeconds, nullptr, nullptr, ARRAYSIZE(actions), actions};
    SERVICE_FAILURE_ACTIONS_FLAG failureFlag{TRUE};
    SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kAgentServiceDescription)};
    struct Setting {
        DWORD level;
        void* value;
        std::wstring command;  // what sets it by hand
    } const settings[] = {
        {SERVICE_CONFIG_SERVICE_SID_INFO, &sidInfo, L"sc sidtype qm-agent unrestricted"},
        {SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions,
         L"sc failure qm-agent reset= 86400 actions= restart/5000/restart/5000/restart/60000"},
        {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &failureFlag, L"sc failureflag qm-agent 1"},
        {SERVICE_CONFIG_DESCRIPTION, &description,
         L"sc description qm-agent \"" + std::wstring(kAgentServiceDescription) + L"\""},
    };
    for (const Setting& setting : settings) {
        const HRESULT hr = ApplySetting(service, setting.level, setting.value);
        if (FAILED(hr)) {
            return hr;
        }
        if (hr == S_FALSE) {
            skipped.push_back(setting.command);
        }
    }
    return S_OK;
}

}  // namespace

HRESULT InstallAgentService(const std::wstring& commandLine, bool virtualAccount,
                            std::vector<std::wstring>& skipped) noexcept try {
    skipped.clear();
    ServiceHandle manager(g_serviceSystemCalls.openSCManager(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return ServiceCallFailure();
    }
    // No password: LocalSystem has none, and Windows manages the virtual account's.
    ServiceHandle service(g_serviceSystemCalls.createService(
        manager.Get(), kAgentServiceName, kAgentServiceDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr, nullptr,
        virtualAccount ? kAgentVirtualAccount : nullptr, nullptr));
    if (!service) {
        return ServiceCallFailure();
    }
    const HRESULT hr = ApplySettings(service.Get(), skipped);
    if (FAILED(hr)) {
        // A service without its SID type or recovery is not the one asked for: none is left.
        g_serviceSystemCalls.deleteService(service.Get());
        skipped.clear();
    }
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
