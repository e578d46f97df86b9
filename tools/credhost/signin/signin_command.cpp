#include "credhost_commands.h"

#include "command_output.h"
#include "console_output.h"
#include "credential_provider_names.h"
#include "provider_target.h"
#include "secret_line_reader.h"
#include "sign_in_run.h"
#include "utf8_conversion.h"

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
    const SignInRun run = RunSignInWithPassword(command, target, password);
    PrintReport(command, run.text, run.json);
    return run.exitCode;
}
