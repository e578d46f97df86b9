// What credhost's commands say on the console besides their reports' contents: the report in
// the form the command line chose, the usage error of a provider argument that names nothing,
// and the warning about a provider that still counts live objects after it was released.
#pragma once

#include "credhost_command_line.h"
#include "local_user_array.h"
#include "provider_module.h"
#include "provider_target.h"
#include "windows_logon.h"

#include <string>

// Prints a JSON object or text to standard output.
void PrintReport(const CredhostCommand& command, const std::string& text, const std::string& json);

// Resolves the command's provider into target; false after printing the usage error.
bool ResolveProviderTargetOrSayWhy(const CredhostCommand& command, ProviderTarget& target);

// Warns when leaked: DllCanUnloadNow still said S_FALSE after the host released everything it
// was handed (a leaked reference in the provider).
void WarnIfProviderLeaked(bool leaked);

// Releases the provider and unloads its DLL, with the warning above.
void UnloadProvider(ProviderModule& module);

// The exit code of a credential handed to Windows with --logon: accepted, refused, not verified.
int ExitCodeOfWindowsLogon(WindowsLogonVerdict verdict);

// The user array the command asks for (--user-array), for the provider session.
UserArrayChoice UserArrayChoiceOf(const CredhostCommand& command);
