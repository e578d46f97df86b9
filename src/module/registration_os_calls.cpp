#include "module/registration_os_calls.h"

const RegistrationOsCalls kSystemRegistrationOsCalls = {
    GetModuleFileNameW,
    RegCreateKeyExW,
    RegSetValueExW,
};

RegistrationOsCalls RegistrationOs = kSystemRegistrationOsCalls;
