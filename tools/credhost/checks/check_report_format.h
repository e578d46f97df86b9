// A checking command's report (doctor's, agent-check's) as text (one line per check, then a
// count) or as JSON (the same checks), and the exit code it stands for.
#pragma once

#include "check_report.h"

#include <string>

// Exit codes of the checking commands.
inline constexpr int kCheckExitAllOk = 0;
inline constexpr int kCheckExitWarnings = 1;
inline constexpr int kCheckExitFailure = 3;

// "FAIL  provider entry: Disabled = 1 ... -- enable it: reg delete ...", one line per check, then
// the count, after the command's name.
std::string CheckReportText(const CheckReport& report, const char* command = "credhost doctor");

// {"checks":[{"check":...,"status":"OK|WARN|FAIL","detail":...,"hint":...}],"ok":N,"warnings":N,
//  "failures":N,"exit_code":N}
std::string CheckReportJson(const CheckReport& report);

// 3 when any check failed, else 1 when any warned, else 0.
int CheckExitCode(const CheckReport& report) noexcept;
