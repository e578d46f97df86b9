#include "submit_worker.h"

std::unique_ptr<SignInReport> SubmitFromWindow(ICredentialProviderCredential* tile, const std::string& provider,
                                               CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags,
                                               const std::wstring& userName, NTSTATUS reportStatus) {
    auto report = std::make_unique<SignInReport>();
    report->provider = provider;
    report->scenario = scenario;
    report->flags = flags;
    report->userName = userName;
    if (tile == nullptr) {
        report->failure = E_POINTER;
        report->outcome.failedStep = "no tile is selected";
        return report;
    }
    report->verdict = SubmitTile(tile, flags, reportStatus, report->outcome);
    return report;
}
