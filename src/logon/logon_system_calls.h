// The operating-system calls of the logon packing, the subsystem's whole boundary: Wine's LSA
// always connects and always finds "Kerberos", and its computer name is always there, so tests
// replace these pointers (through tests/support/scoped_system_calls.h) to inject any failure.
// The module itself never changes them. Part of the logon library only: nothing here is exported.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct LogonSystemCalls {
    decltype(&LsaConnectUntrusted) connectUntrusted;
    decltype(&LsaLookupAuthenticationPackage) lookupAuthenticationPackage;
    decltype(&LsaDeregisterLogonProcess) deregisterLogonProcess;
    decltype(&GetComputerNameW) getComputerName;
};

// The real secur32 and kernel32 entry points.
extern const LogonSystemCalls kRealLogonSystemCalls;

// What the packing calls; kRealLogonSystemCalls unless a test has replaced it. Not synchronised:
// tests replace it while no packing runs.
extern LogonSystemCalls g_logonSystemCalls;
