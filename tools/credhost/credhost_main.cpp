// credhost: a console and window sign-in host for credential providers (usage in credhost_command_line.cpp).
#include "credhost_commands.h"

#include "console_output.h"
#include "provider_crash_report.h"
#include "utf8_conversion.h"

int wmain(int argc, wchar_t** argv) {
    PrepareConsoleOutput();
    CredhostCommand command;
    std::wstring error;
    if (!ParseCredhostCommandLine(argc, argv, command, error)) {
        WriteErr("credhost: " + Utf8FromWide(error) + "\n\n" + Utf8FromWide(kCredhostUsageText));
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
