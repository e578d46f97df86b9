#include "module/registration_system_calls.h"

const RegistrationSystemCalls kRealRegistrationSystemCalls = {
    GetModuleFileNameW,
    RegCreateKeyExW,
    RegSetValueExW,
};

RegistrationSystemCalls g_registrationSystemCalls = kRealRegistrationSystemCalls;
