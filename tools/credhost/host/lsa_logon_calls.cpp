#include "lsa_logon_calls.h"

const LsaLogonCalls kRealLsaLogonCalls = {
    &LsaConnectUntrusted, &LsaLogonUser,        &LsaFreeReturnBuffer, &LsaDeregisterLogonProcess,
    &AllocateLocallyUniqueId, &GetTokenInformation, &LookupAccountSidW,   &CloseHandle,
};

LsaLogonCalls g_lsaLogonCalls = kRealLsaLogonCalls;
