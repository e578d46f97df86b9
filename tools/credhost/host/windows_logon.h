// Hands a returned credential to Windows, as the sign-in screen does after GetSerialization:
// LsaConnectUntrusted, then LsaLogonUser for an interactive logon with the serialization's own
// package number and bytes, credhost's origin name and its token source. An ordinary user may
// do this: the privilege that LsaLogonUser asks of trusted callers is needed only for extra
// local groups, subauthentication packages and S4U, none of which this logon uses.
//
// Only a token proves the logon. LSA's success without one (Wine's LsaLogonUser answers so for
// any buffer) is "not verified", never "accepted".
#pragma once

#include <windows.h>
#include <ntsecapi.h>

#include <string>

enum class WindowsLogonVerdict { Accepted, Refused, NotVerified };

struct WindowsLogonResult {
    WindowsLogonVerdict verdict = WindowsLogonVerdict::NotVerified;
    const char* failedStep = "";  // "LsaConnectUntrusted" when LSA was never asked
    NTSTATUS status = 0;          // LsaLogonUser's, or LsaConnectUntrusted's for a failed step
    NTSTATUS subStatus = 0;       // LsaLogonUser's sub-status (an account restriction's reason)
    bool hasToken = false;
    std::wstring accountDomain;  // the token user's domain and name; empty when the look-up failed
    std::wstring accountName;
    std::wstring sid;      // the token user's SID as text
    DWORD accountLookupError = 0;
};

// Logs on with size bytes at data for the authentication package numbered package. The bytes
// are copied into a buffer that wipes itself (LsaLogonUser's parameter is not const, and the
// caller's block stays the caller's). The token is closed and LSA's profile buffer freed before
// this returns: credhost keeps no logon session.
WindowsLogonResult LogOnThroughLsa(ULONG package, const unsigned char* data, ULONG size);
