#include "agent_service.h"

#include "service_handle.h"

namespace {

inline constexpr DWORD kStatePollMs = 100;

HRESULT QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) noexcept {
    DWORD needed = 0;
    return g_serviceSystemCalls.queryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                                     sizeof(status), &needed)
               ? S_OK
               : ServiceCallFailure();
}

// Waits until the service is in one of two states, for at most kServiceStateTimeoutMs:
// HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT) when it is in neither by then.
HRESULT WaitForState(SC_HANDLE service, DWORD state, DWORD otherState, SERVICE_STATUS_PROCESS& status) noexcept {
    const ULONGLONG deadline = GetTickCount64() + kServiceStateTimeoutMs;
    for (;;) {
        const HRESULT hr = QueryStatus(service, status);
        if (FAILED(hr) || status.dwCurrentState == state || status.dwCurrentState == otherState) {
            return hr;
        }
        if (GetTickCount64() >= deadline) {
            return HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        Sleep(kStatePollMs);
    }
}

// The service control manager and the service in it, opened for access.
struct OpenedService {
    HRESULT Open(DWORD access) noexcept {
        manager = ServiceHandle(g_serviceSystemCalls.openSCManager(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) {
            return ServiceCallFailure();
        }
        service = ServiceHandle(g_serviceSystemCalls.openService(manager.Get(), kAgentServiceName, access));
        return service ? S_OK : ServiceCallFailure();
    }

    ServiceHandle manager;
    ServiceHandle service;
};

// Sends the stop control (S_OK too when the service is not running) and waits until it has
// stopped.
HRESULT StopServiceAndWait(SC_HANDLE service) noexcept {
    SERVICE_STATUS ignored{};
    if (!g_serviceSystemCalls.controlService(service, SERVICE_CONTROL_STOP, &ignored) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        return ServiceCallFailure();
    }
    SERVICE_STATUS_PROCESS status{};
    return WaitForState(service, SERVICE_STOPPED, SERVICE_STOPPED, status);
}

}  // namespace

HRESULT StartAgentService(SERVICE_STATUS_PROCESS& status) noexcept {
    status = SERVICE_STATUS_PROCESS{};
    OpenedService opened;
    HRESULT hr = opened.Open(SERVICE_START | SERVICE_QUERY_STATUS);
    if (FAILED(hr)) {
        return hr;
    }
    if (!g_serviceSystemCalls.startService(opened.service.Get(), 0, nullptr) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        return ServiceCallFailure();
    }
    return WaitForState(opened.service.Get(), SERVICE_RUNNING, SERVICE_STOPPED, status);
}

HRESULT StopAgentService() noexcept {
    OpenedService opened;
    const HRESULT hr = opened.Open(SERVICE_STOP | SERVICE_QUERY_STATUS);
    return FAILED(hr) ? hr : StopServiceAndWait(opened.service.Get());
}

HRESULT UninstallAgentService() noexcept {
    OpenedService opened;
    HRESULT hr = opened.Open(DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (FAILED(hr)) {
        return hr;
    }
    hr = StopServiceAndWait(opened.service.Get());
    if (FAILED(hr)) {
        return hr;
    }
    // The service control manager removes the service once the last handle to it is closed.
    return g_serviceSystemCalls.deleteService(opened.service.Get()) ? S_OK : ServiceCallFailure();
}
