// The LSA calls of the logon packer, reached through replaceable pointers. Wine's LSA always
// connects and always finds "Kerberos", so a test that needs a failed connection or lookup swaps
// these for its own functions and restores them afterwards. They live in the static library
// only: the module exports nothing but its four COM entry points.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

struct LsaEntryPoints {
    NTSTATUS(NTAPI* connectUntrusted)(PHANDLE lsaHandle);
    NTSTATUS(NTAPI* lookupAuthenticationPackage)(HANDLE lsaHandle, PLSA_STRING packageName,
                                                 PULONG authenticationPackage);
    NTSTATUS(NTAPI* deregisterLogonProcess)(HANDLE lsaHandle);
};

// Points at secur32's functions unless a test has replaced them. Not synchronised: tests swap
// them while no packing runs.
extern LsaEntryPoints LsaCalls;
