// What the sign-in screen reads before it loads the provider: the COM class and its DLL, the
// provider's entry with its Disabled value, and the machine policies that hide the provider or
// change what the sign-in screen asks of it.
#pragma once

#include "check_report.h"

#include <string>

// Adds the class registration and provider DLL lines; returns the path where the sign-in
// screen's loader finds the registered DLL (a bare or relative name searched for as it would
// search), or an empty one when the class names none or the name is found nowhere.
std::wstring CheckClassRegistration(CheckReport& report);

// Adds the provider entry line (registered, and not Disabled).
void CheckProviderEntry(CheckReport& report);

// Adds the exclusion policy line and the sign-in policies line (information only).
void CheckSignInPolicies(CheckReport& report);

// Adds the provider filters line: a WARN naming each registered filter (its class id, and its
// DLL where the class is registered), since any of them may hide the tile.
void CheckProviderFilters(CheckReport& report);
