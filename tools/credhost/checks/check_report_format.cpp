#include "check_report_format.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

const char* StatusWord(CheckStatus status) {
    switch (status) {
    case CheckStatus::Ok: return "OK";
    case CheckStatus::Warn: return "WARN";
    case CheckStatus::Fail: return "FAIL";
    }
    return "FAIL";
}

size_t Count(const CheckReport& report, CheckStatus status) {
    return static_cast<size_t>(std::count_if(report.begin(), report.end(),
                                             [status](const CheckLine& check) { return check.status == status; }));
}

}  // namespace

std::string CheckReportText(const CheckReport& report, const char* command) {
    std::string text;
    for (const CheckLine& check : report) {
        std::string status = StatusWord(check.status);
        status.resize(6, ' ');
        text += status + check.name + ": " + check.detail;
        if (!check.hint.empty()) {
            text += " -- " + check.hint;
        }
        text += "\n";
    }
    text += std::string(command) + ": " + std::to_string(report.size()) + " checks, " +
            std::to_string(Count(report, CheckStatus::Ok)) + " OK, " +
            std::to_string(Count(report, CheckStatus::Warn)) + " warning(s), " +
            std::to_string(Count(report, CheckStatus::Fail)) + " failure(s)\n";
    return text;
}

std::string CheckReportJson(const CheckReport& report) {
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckLine& check : report) {
        checks.push_back({{"check", check.name},
                          {"status", StatusWord(check.status)},
                          {"detail", check.detail},
                          {"hint", check.hint}});
    }
    return nlohmann::json{{"checks", std::move(checks)},
                          {"ok", Count(report, CheckStatus::Ok)},
                          {"warnings", Count(report, CheckStatus::Warn)},
                          {"failures", Count(report, CheckStatus::Fail)},
                          {"exit_code", CheckExitCode(report)}}
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int CheckExitCode(const CheckReport& report) noexcept {
    if (Count(report, CheckStatus::Fail) != 0) {
        return kCheckExitFailure;
    }
    return Count(report, CheckStatus::Warn) != 0 ? kCheckExitWarnings : kCheckExitAllOk;
}
