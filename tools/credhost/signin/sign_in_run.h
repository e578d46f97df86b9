// One run of `credhost signin` once its password is read: the provider's sign-in, and with
// --logon the returned credential handed to Windows before ReportResult. A library of its own,
// so that a test can drive the logon's every answer through the LSA calls' table.
#pragma once

#include "credhost_command_line.h"
#include "provider_target.h"
#include "wiping_allocator.h"

#include <string>

struct SignInRun {
    int exitCode = kExitProviderFailure;
    std::string text;  // the report as text
    std::string json;  // the report as one JSON object
};

SignInRun RunSignInWithPassword(const CredhostCommand& command, const ProviderTarget& target,
                                const SecretWide& password);
