#include "module/registration_system_calls.h"

const RegistrationSystemCalls kRealRegistrationSystemCalls = {
    GetModuleFileNameW,
    RegCreateKeyExW,
    RegSetValueExW,
    RegDeleteTreeW,
};

RegistrationSystemCalls g_registrationSystemCalls = kRealRegistrationSystemCalls;
