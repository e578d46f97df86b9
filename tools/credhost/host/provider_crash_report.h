// What credhost does when a provider crashes: an access violation, Wine's abort on a stub, or
// any other exception that nothing handles, on whichever thread. The process ends with exit
// code 3 (a provider failure) after one line that names the provider call that was running
// (provider_call.h), the exception code and the module and offset where it was raised; with
// --json the same as a JSON object on standard output. No crash dialog and no debugger: the
// sign-in screen's host must not hang on a provider's crash either.
#pragma once

#include <windows.h>

#include <string>

// The exit code of a crash: credhost's code for a provider failure.
inline constexpr int kProviderCrashExitCode = 3;

// Installs the report for the rest of the process (an unhandled-exception filter, with the
// system's fault dialog turned off). Call once, before the first provider call.
void ReportProviderCrashes(bool json) noexcept;

// The report's line for an exception raised at address: the words of both forms, for the
// filter and its test. The module is found from the address, never trusted to hold a name.
struct ProviderCrash {
    std::string call;       // the provider call that was running, or "no provider call"
    DWORD code = 0;         // the exception code
    std::string codeName;   // "access violation reading 0x0000000000000000", "Wine stub ..."
    std::string module;     // the module's path, escaped; empty when the address is in none
    ULONG_PTR offset = 0;   // from the module's base, or the address itself when in no module
};

ProviderCrash DescribeProviderCrash(const EXCEPTION_RECORD& record) noexcept;
std::string ProviderCrashText(const ProviderCrash& crash);
std::string ProviderCrashJson(const ProviderCrash& crash);
