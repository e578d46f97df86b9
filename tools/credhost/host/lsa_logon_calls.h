// The operating-system calls of a logon through LSA: the untrusted connection, the logon, the
// release of what LSA hands back, the token source's id, and the token's account look-up. Tests
// replace entries, through tests/support/scoped_system_calls.h, for what Wine cannot answer:
// Wine's LsaLogonUser succeeds with no token whatever it is given, so every refusal, every
// sub-status and a real token come only through this table.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct LsaLogonCalls {
    decltype(&LsaConnectUntrusted) connectUntrusted;
    decltype(&LsaLogonUser) logonUser;
    decltype(&LsaFreeReturnBuffer) freeReturnBuffer;
    decltype(&LsaDeregisterLogonProcess) deregisterLogonProcess;
    decltype(&AllocateLocallyUniqueId) allocateLocallyUniqueId;
    decltype(&GetTokenInformation) getTokenInformation;
    decltype(&LookupAccountSidW) lookupAccountSid;
    decltype(&CloseHandle) closeHandle;
};

// The real secur32, advapi32 and kernel32 entry points.
extern const LsaLogonCalls kRealLsaLogonCalls;

// What the logon calls; kRealLsaLogonCalls unless a test has replaced it.
extern LsaLogonCalls g_lsaLogonCalls;
