// How the tools name an account in a report or a refusal: "BUILTIN\Administrators
// (S-1-5-32-544)", or the SID alone when the system knows no name for it. Escaped for display:
// the name comes from the system.
#pragma once

#include <windows.h>

#include <string>

std::string AccountText(PSID sid);

// "DOMAIN\name" as the system names the account, unescaped; empty when it knows no name.
std::wstring AccountName(PSID sid);
