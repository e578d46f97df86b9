#include "verdict_checks.h"

#include "display_escaping.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Times that differ by less than this share of the larger do not tell the refusals apart.
constexpr double kTimingTolerance = 0.20;
// Nor do times closer than this: below it the jitter of a pipe round trip dominates.
constexpr double kTimingResolutionMs = 2.0;

bool TellApart(double one, double other) {
    const double difference = std::fabs(one - other);
    return difference >= kTimingTolerance * std::max(one, other) && difference >= kTimingResolutionMs;
}

// The reply's "reason" as a JSON reader takes it; empty when there is none.
std::string ReasonOf(const AgentAnswer& answer) {
    const nlohmann::json reply = nlohmann::json::parse(answer.reply, nullptr, false);
    if (!reply.is_object() || !reply.contains("reason") || !reply["reason"].is_string()) {
        return {};
    }
    return reply["reason"].get<std::string>();
}

// Checks one refusal; an empty string when it is sound, else what is wrong.
std::string RefusalFault(const AgentAnswer& answer, const std::string& what) {
    if (answer.step != AgentExchangeStep::Done) {
        return what + ": " + AnswerText(answer);
    }
    if (IsApproval(answer)) {
        return what + " was approved";
    }
    if (ReasonOf(answer).empty()) {
        return what + " was refused without a reason: the tile shows only \"Authentication denied.\"";
    }
    return {};
}

}  // namespace

bool CheckApproval(CheckReport& report, AgentCheckContext& context) {
    const AgentAnswer answer = context.SignIn("approval");
    const std::string user = EscapedForDisplay(context.UserName());
    if (!IsApproval(answer)) {
        AddCheck(report, "approval", CheckStatus::Fail, user + " with the given password: " + AnswerText(answer),
                 "the agent must answer {\"status\":\"OK\",...} for the right password within the module's 10 s; "
                 "the remaining checks were not run");
        return false;
    }
    AddCheck(report, "approval", CheckStatus::Ok, user + " " + AnswerText(answer));
    return true;
}

void CheckRefusals(CheckReport& report, AgentCheckContext& context, PCWSTR wrongPassword,
                   const std::wstring& unknownName, DWORD rounds) {
    std::vector<double> wrongTimes;
    std::vector<double> unknownTimes;
    std::string fault;
    std::string wrongReason;
    std::string unknownReason;
    for (DWORD round = 0; round < rounds && fault.empty(); ++round) {
        const AgentAnswer wrong = AskAgentToSignIn(context.UserName(), wrongPassword);
        context.Record("wrong password", wrong);
        const AgentAnswer unknown = AskAgentToSignIn(unknownName, wrongPassword);
        context.Record("unknown name", unknown);
        fault = RefusalFault(wrong, "a wrong password");
        if (fault.empty()) {
            fault = RefusalFault(unknown, "an unknown name");
        }
        wrongTimes.push_back(wrong.milliseconds);
        unknownTimes.push_back(unknown.milliseconds);
        wrongReason = ReasonOf(wrong);
        unknownReason = ReasonOf(unknown);
    }
    if (fault.empty() && wrongReason != unknownReason) {
        fault = "the reasons differ (\"" + EscapedForDisplay(wrongReason) + "\" and \"" +
                EscapedForDisplay(unknownReason) + "\"): they tell which names exist";
    }
    if (!fault.empty()) {
        AddCheck(report, "refusal", CheckStatus::Fail, fault,
                 "refuse a wrong password and an unknown name alike, with the same reason");
        return;
    }
    AddCheck(report, "refusal", CheckStatus::Ok,
             "a generated wrong password and an unknown name are refused alike (\"" + EscapedForDisplay(wrongReason) +
                 "\")");

    const double wrongMedian = Median(wrongTimes);
    const double unknownMedian = Median(unknownTimes);
    const double wrongFastest = *std::min_element(wrongTimes.begin(), wrongTimes.end());
    const double unknownFastest = *std::min_element(unknownTimes.begin(), unknownTimes.end());
    const std::string figures = "over " + std::to_string(rounds) + " rounds, wrong password: median " +
                                MillisecondsText(wrongMedian) + ", fastest " + MillisecondsText(wrongFastest) +
                                "; unknown name: median " + MillisecondsText(unknownMedian) + ", fastest " +
                                MillisecondsText(unknownFastest);
    // A busy machine only ever adds time, and may add it to a few answers of one kind: an oracle
    // shows in the fastest answers as in the medians, a load spike only in the medians.
    if (TellApart(wrongMedian, unknownMedian) && TellApart(wrongFastest, unknownFastest)) {
        const double larger = std::max(wrongMedian, unknownMedian);
        const double apart = 100 * std::fabs(wrongMedian - unknownMedian) / larger;
        AddCheck(report, "refusal timing", CheckStatus::Fail,
                 figures + " (medians " + std::to_string(static_cast<int>(std::lround(apart))) +
                     "% apart): the answer time is an oracle that tells which names exist",
                 "spend the same work on every refusal: hash the password against a dummy record when the name is unknown");
        return;
    }
    AddCheck(report, "refusal timing", CheckStatus::Ok, figures + ": less than 20% apart");
}

void CheckLatency(CheckReport& report, const AgentCheckContext& context) {
    const std::vector<double>& times = context.ApprovalTimes();
    if (times.empty()) {
        return;
    }
    const double slowest = *std::max_element(times.begin(), times.end());
    const std::string figures = std::to_string(times.size()) + " approvals: median " +
                                MillisecondsText(Median(times)) + ", slowest " + MillisecondsText(slowest);
    if (slowest > kAgentIoTimeoutMs / 2.0) {
        AddCheck(report, "latency", CheckStatus::Warn,
                 figures + ", over half the module's " + std::to_string(kAgentIoTimeoutMs / 1000) + " s",
                 "make the decision faster, or a slow moment will make the tile say \"qm-agent pipe read failed\"");
        return;
    }
    AddCheck(report, "latency", CheckStatus::Ok, figures);
}
