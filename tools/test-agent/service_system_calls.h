// The service control manager's calls that install, start, stop and remove the qm-agent service.
// Tests replace entries, through tests/support/scoped_system_calls.h, to see the arguments that
// Wine's service control manager drops (the service SID type, the recovery actions) and to fail
// a call where Wine cannot.
#pragma once

#include <windows.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct ServiceSystemCalls {
    decltype(&OpenSCManagerW) openSCManager;
    decltype(&CreateServiceW) createService;
    decltype(&OpenServiceW) openService;
    decltype(&ChangeServiceConfig2W) changeServiceConfig2;
    decltype(&StartServiceW) startService;
    decltype(&ControlService) controlService;
    decltype(&QueryServiceStatusEx) queryServiceStatusEx;
    decltype(&DeleteService) deleteService;
    decltype(&CloseServiceHandle) closeServiceHandle;
};

// The real advapi32 entry points.
extern const ServiceSystemCalls kRealServiceSystemCalls;

// What the service commands call; kRealServiceSystemCalls unless a test has replaced it.
extern ServiceSystemCalls g_serviceSystemCalls;
