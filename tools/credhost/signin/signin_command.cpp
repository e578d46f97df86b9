#include "credhost_commands.h"

#include "com_apartment.h"
#include "command_output.h"
#include "console_output.h"
#include "provider_target.h"
#include "secret_line_reader.h"
#include "sign_in_report.h"
#include "utf8_conversion.h"

namespace {

int ExitCodeOf(SignInVerdict verdict) {
    switch (verdict) {
    case SignInVerdict::SignedIn: return kExitSignedIn;
    case SignInVerdict::Refused: return kExitRefused;
    default: return kExitProviderFailure;
    }
}

// Loads the provider and runs the sign-in; the session and the provider are released before
// this returns, and the DLL is unloaded.
void SignInThroughProvider(const ProviderTarget& target, const CredhostCommand& command, const SecretWide& password,
                           SignInReport& report) {
    ProviderModule module;
    report.failure = LoadProviderTarget(target, module);
    if (FAILED(report.failure)) {
        report.outcome.failedStep = module.FailedStep();
        return;
    }
    {
        ProviderSession session(module.Provider(), UserArrayChoiceOf(command));
        report.failure = session.Open(command.scenario, command.flags);
        if (session.TakesNoPart()) {
            report.outcome.failedStep = "SetUsageScenario: the provider takes no part in this scenario";
            return;
        }
        if (FAILED(report.failure)) {
            report.outcome.failedStep = session.FailedStep();
            return;
        }
        const TileChoice choice{command.hasTile, command.tile};
        report.verdict = RunSignIn(session, command.userName, choice, password, command.reportStatus, report.outcome);
    }
    UnloadProvider(module);
}

}  // namespace

int RunSignIn(const CredhostCommand& command) {
    ProviderTarget target;
    if (!ResolveProviderTargetOrSayWhy(command, target)) {
        return kExitUsage;
    }
    // Wiped when it goes out of scope, on every path.
    SecretWide password;
    const HRESULT read = ReadSecretLine(L"Password: ", password);
    if (FAILED(read)) {
        WriteErr(std::string("credhost: ") + SecretLineErrorText(read) + "\n");
        return kExitUsage;
    }
    ComApartment apartment;
    SignInReport report;
    report.provider = DescribeProviderTarget(target);
    report.scenario = command.scenario;
    report.flags = command.flags;
    report.userName = command.userName;
    if (FAILED(apartment.Result())) {
        report.failure = apartment.Result();
        report.outcome.failedStep = "CoInitializeEx";
    } else {
        SignInThroughProvider(target, command, password, report);
    }
    PrintReport(command, SignInReportText(report), SignInReportJson(report).dump());
    return ExitCodeOf(report.verdict);
}
