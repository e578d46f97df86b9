// The account of the client at the other end of a pipe instance, for the request log.
#pragma once

#include <windows.h>

#include <string>

// Shown when the client cannot be identified (Windows lets the server impersonate only after it
// has read from the pipe, so a client that sent nothing is one).
inline constexpr wchar_t kUnidentifiedClient[] = L"(unidentified)";

// "DOMAIN\user" of the client connected to pipe, or its SID when the account has no name, or
// kUnidentifiedClient (empty when memory runs out). Read through impersonation: the module
// connects at identification level, which lets the server read the client's token and do nothing
// in its name. Never by the client's process ID, which may belong to another process by the time
// it is looked up. Unescaped: the log line escapes it.
std::wstring PipeClientAccount(HANDLE pipe) noexcept;
