// One line of a checking command's report (doctor, agent-check): what was checked, how it
// stands, and what to do about it.
#pragma once

#include <string>
#include <vector>

enum class CheckStatus { Ok, Warn, Fail };

struct CheckLine {
    std::string name;  // fixed ASCII ("provider entry")
    CheckStatus status = CheckStatus::Ok;
    std::string detail;  // UTF-8; text from the system in it is already escaped for display
    std::string hint;    // what to do; empty when nothing is to be done
};

using CheckReport = std::vector<CheckLine>;

inline void AddCheck(CheckReport& report, std::string name, CheckStatus status, std::string detail,
                     std::string hint = {}) {
    report.push_back({std::move(name), status, std::move(detail), std::move(hint)});
}
