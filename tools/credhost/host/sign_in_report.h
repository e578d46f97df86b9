// What `credhost signin` prints: the outcome of one submission, as text or as one JSON object.
// The password never appears: only its length and where the block keeps it.
#pragma once

#include "sign_in.h"

#include <nlohmann/json.hpp>

#include <string>

struct SignInReport {
    std::string provider;  // DescribeProviderTarget
    CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario = CPUS_LOGON;
    DWORD flags = 0;
    std::wstring userName;
    std::string hiddenBecause;  // why the sign-in screen would not show the provider; empty when it would
    SignInVerdict verdict = SignInVerdict::ProviderFailure;
    HRESULT failure = S_OK;  // the failed call's result, for a provider failure before submission
    SignInOutcome outcome;
};

std::string SignInReportText(const SignInReport& report);
nlohmann::json SignInReportJson(const SignInReport& report);

// The decoded logon block's lines (message type, layout, domain, user name, the password's
// length), as signin and prompt print a credential, and the same as JSON fields.
std::string DecodedLogonText(const DecodedLogon& logon);
nlohmann::json DecodedLogonJson(const DecodedLogon& logon);

const char* SignInVerdictName(SignInVerdict verdict);  // "signed_in", "refused", "provider_failure"
