#include "sign_in_run.h"

#include "com_apartment.h"
#include "command_output.h"
#include "console_output.h"
#include "credential_provider_names.h"
#include "sign_in_report.h"
#include "sign_in_screen_visibility.h"
#include "utf8_conversion.h"
#include "windows_logon_report.h"

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
        report.outcome.failureDetail = LoadFailureAdvice(target, report.failure);
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

// Why the sign-in screen would leave the provider out, said once on standard error before it is
// driven all the same; empty when it would show it.
std::string HiddenFromSignInScreen(const ProviderTarget& target) {
    const std::string reason = HiddenReasonText(ProviderVisibilityOf(WideFromUtf8(GuidText(target.clsid))));
    if (!reason.empty()) {
        WriteErr("credhost: the sign-in screen would not show this provider (" + reason + "); driving it anyway\n");
    }
    return reason;
}

}  // namespace

SignInRun RunSignInWithPassword(const CredhostCommand& command, const ProviderTarget& target,
                                const SecretWide& password) {
    ComApartment apartment;
    SignInReport report;
    report.provider = DescribeProviderTarget(target);
    report.scenario = command.scenario;
    report.flags = command.flags;
    report.userName = command.userName;
    report.hiddenBecause = HiddenFromSignInScreen(target);
    bool loggedOn = false;
    WindowsLogonResult logon;
    if (command.logon) {
        // Runs between GetSerialization and ReportResult, while the host still owns the block.
        report.outcome.handOver = [&](ULONG package, const unsigned char* data, ULONG size) {
            logon = LogOnThroughLsa(package, data, size);
            loggedOn = true;
            return LogonStatus{logon.status, logon.subStatus};
        };
    }
    if (FAILED(apartment.Result())) {
        report.failure = apartment.Result();
        report.outcome.failedStep = "CoInitializeEx";
    } else {
        SignInThroughProvider(target, command, password, report);
    }
    SignInRun run;
    run.exitCode = ExitCodeOf(report.verdict);
    run.text = SignInReportText(report);
    nlohmann::json json = SignInReportJson(report);
    if (loggedOn) {
        run.exitCode = ExitCodeOfWindowsLogon(logon.verdict);
        run.text += WindowsLogonText(logon);
        json["windows_logon"] = WindowsLogonJson(logon);
    }
    run.json = json.dump();
    return run;
}
