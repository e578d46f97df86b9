// credhost agent-check: tests the agent that serves the agent pipe as the module will use it,
// for the engineer who writes it. It talks to the agent only through the module's own steps
// (agent/agent_exchange.h), reuses doctor's pipe checks, and sends the given password only to a
// pipe the module would trust. Nothing it prints holds a password.
#include "credhost_commands.h"

#include "agent_pipe_checks.h"
#include "agent_pipe_shape_checks.h"
#include "check_report_format.h"
#include "command_output.h"
#include "console_output.h"
#include "generated_secret.h"
#include "robustness_probes.h"
#include "secret_line_reader.h"
#include "verdict_checks.h"
#include "win32_error_name.h"

#include <algorithm>

namespace {

constexpr size_t kWrongPasswordUnits = 24;
constexpr DWORD kMostCountedInstances = 255;

bool AnyFailure(const CheckReport& report) {
    return std::any_of(report.begin(), report.end(), [](const CheckLine& line) { return line.status == CheckStatus::Fail; });
}

// The pipe's own checks: doctor's (presence, owner, who may create instances), then network
// logons and message mode on a connection made as the module makes it. instances gets the
// number of instances the agent offers. False when the pipe is not one to send a password to.
bool CheckPipe(CheckReport& report, DWORD& instances) {
    CheckAgentPipe(report);
    // Doctor's checks stop after their first line when the pipe could not be opened at all.
    if (AnyFailure(report) || report.size() < 3) {
        return false;
    }
    KernelHandle pipe;
    if (ConnectToAgent(pipe) != AgentExchangeStep::Done) {
        AddCheck(report, "agent pipe", CheckStatus::Fail,
                 "a connection as the module makes it failed (" + Win32ErrorNumberText(GetLastError()) + ")",
                 "run credhost agent-check again; if it fails again, the agent is not serving");
        return false;
    }
    CheckAgentPipeDeniesNetwork(report, pipe.Get());
    CheckAgentPipeIsMessagePipe(report, pipe.Get());
    DWORD maxInstances = 0;
    GetNamedPipeInfo(pipe.Get(), nullptr, nullptr, nullptr, &maxInstances);
    instances = std::min(maxInstances, kMostCountedInstances);
    return true;
}

void RunBattery(CheckReport& report, const CredhostCommand& command, const SecretWide& password) {
    DWORD instances = 0;
    if (!CheckPipe(report, instances)) {
        return;
    }
    AgentCheckContext context(command.userName, password.data());
    if (!CheckApproval(report, context)) {
        return;
    }
    CheckRobustness(report, context, instances);

    SecretWide wrongPassword;
    const std::wstring unknownName = command.unknownName.empty() ? GenerateUnknownName() : command.unknownName;
    if (!GenerateSecret(kWrongPasswordUnits, wrongPassword) || unknownName.empty()) {
        AddCheck(report, "refusal", CheckStatus::Fail, "no random password or name could be generated",
                 "run credhost agent-check again");
    } else {
        CheckRefusals(report, context, wrongPassword.data(), unknownName, command.rounds);
    }
    context.Audit().AddLines(report);
    CheckLatency(report, context);
}

}  // namespace

int RunAgentCheck(const CredhostCommand& command) {
    // Wiped when it goes out of scope, on every path.
    SecretWide password;
    const HRESULT read = ReadSecretLine(L"Password: ", password);
    if (FAILED(read)) {
        WriteErr(std::string("credhost: ") + SecretLineErrorText(read) + "\n");
        return kExitUsage;
    }
    CheckReport report;
    RunBattery(report, command, password);
    PrintReport(command, CheckReportText(report, "credhost agent-check"), CheckReportJson(report));
    return CheckExitCode(report);
}
