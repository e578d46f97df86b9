// credhost's command line: a subcommand, the provider to drive and the options.
#pragma once

#include <credentialprovider.h>

#include <string>
#include <vector>

enum class CredhostVerb { Help, Version, List, Show, SignIn, Window, Doctor, Prompt, AgentCheck };

// Exit codes: scripts tell the outcomes apart by these alone.
inline constexpr int kExitSignedIn = 0;         // also: list / show / help succeeded
inline constexpr int kExitRefused = 1;          // the tile returned no credential
inline constexpr int kExitUsage = 2;            // bad command line, unreadable password
inline constexpr int kExitProviderFailure = 3;  // loading or a call of the provider failed
inline constexpr int kExitNotVerified = 4;      // --logon: Windows gave no token, so nothing proves a logon

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
    bool logon = false;           // signin, prompt: --logon, hand the credential to LsaLogonUser
    bool help = false;            // VERB --help: that subcommand's help
    std::wstring unknownName;     // agent-check: --unknown NAME (empty: a random name)
    DWORD rounds = 9;             // agent-check: --rounds N, the timed refusals of each kind
    bool limitsUserArray = false;          // --user-array NAME[,NAME...]: the accounts handed over
    std::vector<std::wstring> userArray;   // none: an empty user array
    bool hasTile = false;                  // signin: --tile N
    DWORD tile = 0;
};

// Parses argv[1..]; on failure returns false with error set to a one-line reason.
bool ParseCredhostCommandLine(int argc, const wchar_t* const* argv, CredhostCommand& command, std::wstring& error);

extern const wchar_t kCredhostUsageText[];

// The usage lines of one subcommand, as `credhost VERB --help` prints them.
std::wstring CredhostVerbUsageText(CredhostVerb verb);
