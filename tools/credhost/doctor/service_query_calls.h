// The service control manager calls of doctor's service check. Tests replace entries, through
// tests/support/scoped_system_calls.h, where Wine cannot show a state: Wine's service manager
// keeps no service SID type (QueryServiceConfig2W answers ERROR_INVALID_LEVEL).
#pragma once

#include <windows.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct ServiceQueryCalls {
    decltype(&OpenSCManagerW) openSCManager;
    decltype(&OpenServiceW) openService;
    decltype(&QueryServiceConfigW) queryServiceConfig;
    decltype(&QueryServiceConfig2W) queryServiceConfig2;
    decltype(&QueryServiceStatus) queryServiceStatus;
    decltype(&CloseServiceHandle) closeServiceHandle;
};

// The real advapi32 entry points.
extern const ServiceQueryCalls kRealServiceQueryCalls;

// What the service check calls; kRealServiceQueryCalls unless a test has replaced it.
extern ServiceQueryCalls g_serviceQueryCalls;
