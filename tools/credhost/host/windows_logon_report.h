// What credhost prints of a logon through LSA: one line per outcome, the NTSTATUS and the
// sub-status by name with a plain sentence each, and the same as a JSON object.
#pragma once

#include "windows_logon.h"

#include <nlohmann/json.hpp>

#include <string>

// "accepted", "refused", "not_verified".
const char* WindowsLogonVerdictName(WindowsLogonVerdict verdict);

// The report's lines (each begins with two spaces), and its JSON object.
std::string WindowsLogonText(const WindowsLogonResult& result);
nlohmann::json WindowsLogonJson(const WindowsLogonResult& result);
