#include "service_system_calls.h"

const ServiceSystemCalls kRealServiceSystemCalls = {
    OpenSCManagerW, CreateServiceW,       OpenServiceW,  ChangeServiceConfig2W, StartServiceW,
    ControlService, QueryServiceStatusEx, DeleteService, CloseServiceHandle,
};

ServiceSystemCalls g_serviceSystemCalls = kRealServiceSystemCalls;
