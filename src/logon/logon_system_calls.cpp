#include "logon/logon_system_calls.h"

const LogonSystemCalls kRealLogonSystemCalls = {
    LsaConnectUntrusted,
    LsaLookupAuthenticationPackage,
    LsaDeregisterLogonProcess,
    GetComputerNameW,
};

LogonSystemCalls g_logonSystemCalls = kRealLogonSystemCalls;
