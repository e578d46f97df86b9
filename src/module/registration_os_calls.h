// The operating-system calls of self-registration that can fail in ways Wine cannot provoke: a
// module path that does not fit its buffer or cannot be read, and a registry that refuses to
// open a key or write a value. Tests replace the pointers to inject any error code; the module
// itself never changes them. Part of the logic library only: nothing here is exported.
#pragma once

#include <windows.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct RegistrationOsCalls {
    decltype(&GetModuleFileNameW) getModuleFileName;
    decltype(&RegCreateKeyExW) regCreateKeyEx;
    decltype(&RegSetValueExW) regSetValueEx;
};

// The real kernel32 and advapi32 entry points.
extern const RegistrationOsCalls kSystemRegistrationOsCalls;

// What registration calls; kSystemRegistrationOsCalls unless a test has replaced it.
extern RegistrationOsCalls RegistrationOs;
