// A submission from the window, run on the provider's thread while the window keeps painting:
// GetSerialization, the returned credential decoded as `signin` decodes it (the password's
// length only), then ReportResult. The report is what the window shows.
#pragma once

#include "sign_in_report.h"

#include <memory>

std::unique_ptr<SignInReport> SubmitFromWindow(ICredentialProviderCredential* tile, const std::string& provider,
                                               CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags,
                                               const std::wstring& userName, NTSTATUS reportStatus);
