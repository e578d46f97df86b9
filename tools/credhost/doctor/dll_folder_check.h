// Whether anyone but an administrator can change the provider's DLL or the folder it lies in.
// The sign-in screen runs as LocalSystem and loads whatever DLL it finds there, or a DLL of a
// system library's name planted beside it, so an ordinary user who can write either can run
// code as LocalSystem.
//
// Judged by object_writers.h: the owner and the entries that grant writing, deleting or
// changing the DACL or owner. Trusted with those rights: the accounts it always trusts, and the
// account running doctor when it is an elevated administrator itself.
#pragma once

#include <windows.h>

#include "check_report.h"

#include <string>

// Adds the DLL folder line for the registered DLL, found as the sign-in screen's loader finds a
// bare or relative name (host/loader_search.h), never relative to doctor's own folder; nothing
// when the name is found nowhere.
void CheckDllFolder(CheckReport& report, const std::wstring& registeredPath);
