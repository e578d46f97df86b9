// The one log line the agent writes per request. It never holds a password: its inputs are the
// user name as sent, the verdict and the time taken.
#pragma once

#include <windows.h>

#include <string>

// "2024-05-01T09:30:12.345Z user=\"demo\" verdict=OK 132 ms". The user name is quoted, cut to
// 64 bytes and escaped as a console text is (display_escaping.h: controls, separators,
// bidirectional controls, quotes and backslashes), so that a client cannot forge, break or
// visually reorder log lines.
std::string FormatRequestLogLine(const SYSTEMTIME& utcTime, const std::string& user, const std::string& verdict,
                                 ULONGLONG milliseconds);
