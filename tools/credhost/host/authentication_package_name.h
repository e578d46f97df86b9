// The name of an LSA authentication package number, as a host prints it: the security packages
// are listed, and each name is looked up until one gives the number. Empty when none does.
#pragma once

#include <windows.h>

#include <string>

std::wstring AuthenticationPackageName(ULONG package);
