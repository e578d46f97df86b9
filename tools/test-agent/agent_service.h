// The test agent as the Windows service qm-agent, through the service control manager: how it is
// installed, and the calls that install, start, stop and remove it. The service's own side (its
// entry point and control handler) is service_entry.cpp.
#pragma once

#include <windows.h>

#include "agent_service_name.h"

#include <string>
#include <vector>

inline constexpr wchar_t kAgentServiceDisplayName[] = L"qm-agent (test agent)";
inline constexpr wchar_t kAgentServiceDescription[] =
    L"Reference server of the qm-credprovider agent pipe, for development and tests. Not the production agent.";

// Recovery: restart 5 s after the first and the second failure, 60 s after any later one; the
// count starts again after a day without failure. A failure is a crash, or (with the failure
// flag) a stop with an error code, such as finding the pipe's name taken at boot.
inline constexpr DWORD kRestartDelaysMs[] = {5000, 5000, 60000};
inline constexpr DWORD kFailureCountResetSeconds = 24 * 60 * 60;

// How long start and stop wait for the service to reach the state they asked for.
inline constexpr DWORD kServiceStateTimeoutMs = 30000;

// Creates the service: its own process, started automatically at boot, under LocalSystem or
// under kAgentVirtualAccount, with commandLine as its binary path, an unrestricted service SID
// and the recovery above. A setting that this service control manager does not know
// (ERROR_INVALID_LEVEL; Wine's knows neither the SID type nor the failure flag) is left out and
// its sc command is added to skipped; any other failure removes the half-made service again.
// HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS) when a service of that name exists.
HRESULT InstallAgentService(const std::wstring& commandLine, bool virtualAccount,
                            std::vector<std::wstring>& skipped) noexcept;

// Stops the service if it runs, then removes it. HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST)
// when there is none.
HRESULT UninstallAgentService() noexcept;

// Starts the service (S_OK too when it runs already) and waits until it runs or has stopped
// again; status is its last state, and a service that stopped says why in its exit codes.
HRESULT StartAgentService(SERVICE_STATUS_PROCESS& status) noexcept;

// Stops the service (S_OK too when it is not running) and waits until it has stopped.
HRESULT StopAgentService() noexcept;
