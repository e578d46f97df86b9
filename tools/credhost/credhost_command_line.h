// credhost's command line: a subcommand, the provider to drive and the options.
#pragma once

#include <credentialprovider.h>

#include <string>
#include <vector>

enum class CredhostVerb { Help, List, Show, SignIn, Window, Doctor };

// Exit codes: scripts tell the outcomes apart by these alone.
inline constexpr int kExitSignedIn = 0;         // also: list / show / help succeeded
inline constexpr int kExitRefused = 1;          // the tile returned no credential
inline constexpr int kExitUsage = 2;            // bad command line, unreadable password
inline constexpr int kExitProviderFailure = 3;  // loading or a call of the provider failed

struct CredhostCommand {
    CredhostVerb verb = CredhostVerb::Help;
    std::wstring provider;  // "{class id}" or a DLL path
    std::wstring clsid;     // --clsid, for a DLL path
    CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario = CPUS_LOGON;
    DWORD flags = 0;  // --flags: SetUsageScenario's dwFlags
    std::wstring userName;
    bool hasUserName = false;
    NTSTATUS reportStatus = 0;  // --report-status: what ReportResult is told the logon gave
    bool json = false;
    std::wstring screenshotPath;  // window: --screenshot FILE.png
    bool submit = false;          // window: --submit, with --screenshot
    bool limitsUserArray = false;          // --user-array NAME[,NAME...]: the accounts handed over
    std::vector<std::wstring> userArray;   // none: an empty user array
    bool hasTile = false;                  // signin: --tile N
    DWORD tile = 0;
};

// Parses argv[1..]; on failure returns false with error set to a one-line reason.
bool ParseCredhostCommandLine(int argc, const wchar_t* const* argv, CredhostCommand& command, std::wstring& error);

extern const wchar_t kCredhostUsageText[];
