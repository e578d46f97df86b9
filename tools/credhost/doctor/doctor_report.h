// credhost doctor's report as text (one line per check, then a count) or as JSON (the same
// checks), and the exit code it stands for.
#pragma once

#include "doctor_check.h"

#include <string>

// Exit codes of credhost doctor.
inline constexpr int kDoctorExitAllOk = 0;
inline constexpr int kDoctorExitWarnings = 1;
inline constexpr int kDoctorExitFailure = 3;

// "FAIL  provider entry: Disabled = 1 ... -- enable it: reg delete ...", one line per check.
std::string DoctorReportText(const DoctorReport& report);

// {"checks":[{"check":...,"status":"OK|WARN|FAIL","detail":...,"hint":...}],"ok":N,"warnings":N,
//  "failures":N,"exit_code":N}
std::string DoctorReportJson(const DoctorReport& report);

// 3 when any check failed, else 1 when any warned, else 0.
int DoctorExitCode(const DoctorReport& report) noexcept;
