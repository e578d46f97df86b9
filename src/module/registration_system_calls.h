// The operating-system calls of self-registration, the subsystem's whole boundary: they can fail
// in ways Wine cannot provoke (a module path that does not fit its buffer or cannot be read, a
// registry that refuses to open a key, write a value or delete a tree). Tests replace the
// pointers (through tests/support/scoped_system_calls.h) to inject any error code; the module
// itself never changes them. Part of the module library only: nothing here is exported.
#pragma once

#include <windows.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct RegistrationSystemCalls {
    decltype(&GetModuleFileNameW) getModuleFileName;
    decltype(&RegCreateKeyExW) regCreateKeyEx;
    decltype(&RegSetValueExW) regSetValueEx;
    decltype(&RegDeleteTreeW) regDeleteTree;
};

// The real kernel32 and advapi32 entry points.
extern const RegistrationSystemCalls kRealRegistrationSystemCalls;

// What registration calls; kRealRegistrationSystemCalls unless a test has replaced it.
extern RegistrationSystemCalls g_registrationSystemCalls;
