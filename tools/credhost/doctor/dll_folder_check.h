// Whether anyone but an administrator can change the provider's DLL or the folder it lies in.
// The sign-in screen runs as LocalSystem and loads whatever DLL it finds there, or a DLL of a
// system library's name planted beside it, so an ordinary user who can write either can run
// code as LocalSystem.
//
// Read from each object's security descriptor: its owner (who may always rewrite its DACL) and
// the entries of its DACL that grant writing, deleting or changing the DACL or owner. Trusted
// with those rights: LocalSystem, the Administrators, TrustedInstaller, the creator placeholders
// (whose entries only shape what children get), and the account running doctor when it is an
// elevated administrator itself: its rights give no ordinary user anything.
#pragma once

#include <windows.h>

#include "check_report.h"

#include <string>
#include <vector>

// Adds the DLL folder line for the registered DLL, found as the sign-in screen's loader finds a
// bare or relative name (host/loader_search.h), never relative to doctor's own folder; nothing
// when the name is found nowhere.
void CheckDllFolder(CheckReport& report, const std::wstring& registeredPath);

// The accounts other than the trusted ones that may change the object descriptor describes
// ("owner X" for an untrusted owner), as AccountText. runningAdministrator: the SID of the
// account running doctor when it is an elevated administrator, else null.
std::vector<std::string> UntrustedWritersOf(PSECURITY_DESCRIPTOR descriptor, PSID runningAdministrator);
