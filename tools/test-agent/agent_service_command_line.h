// The command line that the service control manager starts the agent service with.
#pragma once

#include <windows.h>

#include <string>

// "EXE" service run --users "USERS" [--log "LOG"]: the files made absolute, since a service does
// not start in the installer's folder, and every path quoted so that CommandLineToArgvW reads it
// back whole (spaces, and backslashes before a quotation mark). No --log when logPath is empty.
HRESULT AgentServiceCommandLine(const std::wstring& exe, const std::wstring& usersPath, const std::wstring& logPath,
                                std::wstring& commandLine) noexcept;

// path made absolute against the current folder, as the service will be given it.
HRESULT AbsolutePath(const std::wstring& path, std::wstring& absolute);

// text as one argument of a command line, in quotation marks.
std::wstring QuotedArgument(const std::wstring& text);
