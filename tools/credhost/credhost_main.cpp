// credhost: a console and window sign-in host for credential providers (usage in credhost_command_line.cpp).
#include "credhost_commands.h"

#include "console_output.h"
#include "provider_crash_report.h"
#include "utf8_conversion.h"

namespace {

// A 32-bit credhost exists for the credential prompt's 32-bit caller path. A 64-bit provider
// cannot load into it, and the registry it reads is the 32-bit view, so its other commands
// would mislead.
bool NeedsThe64BitHost(CredhostVerb verb) {
    return sizeof(void*) == 4 && verb != CredhostVerb::Prompt && verb != CredhostVerb::Help &&
           verb != CredhostVerb::Version;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    PrepareConsoleOutput();
    CredhostCommand command;
    std::wstring error;
    if (!ParseCredhostCommandLine(argc, argv, command, error)) {
        WriteErr("credhost: " + Utf8FromWide(error) + "\n\n" + Utf8FromWide(kCredhostUsageText));
        return kExitUsage;
    }
    if (command.help) {
        WriteOut(Utf8FromWide(CredhostVerbUsageText(command.verb)));
        return kExitSignedIn;
    }
    if (NeedsThe64BitHost(command.verb)) {
        WriteErr("credhost: this is the 32-bit credhost, for `credhost prompt` only: a 32-bit host cannot load a "
                 "64-bit credential provider, and it sees the 32-bit view of the registry. Run the 64-bit "
                 "credhost.exe (installed beside the provider) for this command.\n");
        return kExitUsage;
    }
    static_assert(kProviderCrashExitCode == kExitProviderFailure, "a provider's crash is a provider failure");
    ReportProviderCrashes(command.json);
    try {
        switch (command.verb) {
        case CredhostVerb::List: return RunList(command);
        case CredhostVerb::Show: return RunShow(command);
        case CredhostVerb::SignIn: return RunSignIn(command);
        case CredhostVerb::Window: return RunWindow(command);
        case CredhostVerb::Doctor: return RunDoctor(command);
        case CredhostVerb::Prompt: return RunPrompt(command);
        case CredhostVerb::Version: WriteOut("credhost " QM_PRODUCT_VERSION "\n"); return kExitSignedIn;
        case CredhostVerb::AgentCheck: return RunAgentCheck(command);
        case CredhostVerb::Help: break;
        }
    } catch (const std::exception& e) {
        // Out of memory or a report that cannot be encoded; the provider's calls never throw.
        WriteErr(std::string("credhost: ") + e.what() + "\n");
        return kExitProviderFailure;
    }
    WriteOut(Utf8FromWide(kCredhostUsageText));
    return kExitSignedIn;
}
