// The one log line the agent writes per request. It never holds a password: its inputs are the
// caller's account, the user name as sent, the verdict and the time taken.
#pragma once

#include <windows.h>

#include <string>

// "2024-05-01T09:30:12.345Z caller=\"HOST\\alice\" user=\"demo\" verdict=OK 132 ms". Both names
// are quoted and escaped as a console text is (display_escaping.h: controls, separators,
// bidirectional controls and quotes), so that a client cannot forge, break or visually reorder
// log lines. The user name, which the client chose, is cut to 64 bytes and has its backslashes
// escaped too; the caller's account, which the system named, keeps its DOMAIN\account form.
std::string FormatRequestLogLine(const SYSTEMTIME& utcTime, const std::wstring& caller, const std::string& user,
                                 const std::string& verdict, ULONGLONG milliseconds);
