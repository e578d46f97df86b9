#include "credhost_command_line.h"

#include <algorithm>
#include <cerrno>
#include <cwchar>

const wchar_t kCredhostUsageText[] =
    L"credhost: plays the sign-in screen towards a credential provider, through its public COM\n"
    L"interfaces only, so that a provider can be seen and signed in with on a console.\n"
    L"\n"
    L"Usage:\n"
    L"  credhost list [--json]\n"
    L"      The registered credential providers, with their names and DLLs.\n"
    L"  credhost show PROVIDER [--scenario logon|unlock|credui] [--flags N] [--clsid CLSID] [--json]\n"
    L"      Loads the provider, sets the scenario and prints its tiles: every field's label,\n"
    L"      type and state, and the value the tile serves.\n"
    L"  credhost signin PROVIDER --user NAME [--tile N] [--scenario ...] [--flags N] [--clsid CLSID]\n"
    L"                  [--report-status NTSTATUS | --logon] [--json]\n"
    L"      Types NAME and a password into the tile, submits it and prints the outcome: the\n"
    L"      status text and icon, or the credential serialization decoded (the password's\n"
    L"      length only); then reports the logon result (default 0, STATUS_SUCCESS) to the tile.\n"
    L"      The password is read from the console without echo, or as one line from standard\n"
    L"      input; never from the command line (empty standard input is no password: exit 2).\n"
    L"      A tile that shows a user of its own (no user-name field) is picked by NAME (its\n"
    L"      GetUserSid or the name it shows), or by --tile N.\n"
    L"      --logon hands the credential to Windows (LsaLogonUser, interactive, its own package\n"
    L"      and bytes) and reports LSA's answer to the tile: accepted with the token's account,\n"
    L"      refused with the status and sub-status named, or not verified when no token came back.\n"
    L"  credhost prompt [--flags N] [--logon] [--json]\n"
    L"      Opens Windows' own credential prompt (CredUIPromptForWindowsCredentialsW, every\n"
    L"      registered provider in the credui scenario) with --flags as its flags, and prints the\n"
    L"      credential returned as signin does; --logon hands it to Windows as signin's does.\n"
    L"  credhost window PROVIDER [--scenario ...] [--flags N] [--clsid CLSID] [--report-status NTSTATUS]\n"
    L"                  [--screenshot FILE.png [--user NAME [--submit]]]\n"
    L"      Draws the provider's tiles in a window with real controls, to be typed into and\n"
    L"      submitted as on the sign-in screen. With --screenshot it types NAME and the password\n"
    L"      from standard input, submits with --submit, saves the window as a PNG and exits\n"
    L"      with signin's exit codes.\n"
    L"  credhost doctor [--json]\n"
    L"      Checks this machine for what makes the qm-credprovider tile appear and sign in: its\n"
    L"      class registration and DLL, its provider entry and Disabled value, the policies that\n"
    L"      hide it or change the sign-in screen, who may change its DLL's folder, the agent pipe\n"
    L"      (present, its owner, who may create instances) and the qm-agent service. One line per\n"
    L"      check: OK, WARN or FAIL, and what to do. Exit codes: 0 all OK, 1 warnings, 3 a failure.\n"
    L"  credhost agent-check --user NAME [--unknown NAME] [--rounds N] [--json]\n"
    L"      Tests the agent serving the agent pipe as the module uses it: the pipe (owner, DACL,\n"
    L"      message mode), NAME's approval with the password read from standard input, that the\n"
    L"      module's reader and a JSON parser read each reply alike, refusals of a generated wrong\n"
    L"      password and of an unknown name (default: a random one) whose median times over N\n"
    L"      rounds (default 9) differ by less than 20%, the agent's survival of malformed, huge,\n"
    L"      silent and concurrent clients, and its answer times. Doctor's report and exit codes.\n"
    L"\n"
    L"PROVIDER is a class id such as {F1E2D3C4-B5A6-4798-9012-3456789ABCDE}, created through COM\n"
    L"as the system does, or the path of a provider DLL, loaded directly and asked through its\n"
    L"DllGetClassObject for the class given by --clsid (default: the class registered with it).\n"
    L"--flags passes N (hexadecimal 0x... or decimal) as SetUsageScenario's flags, as the credential\n"
    L"prompt does: 0x10000000 (CREDUIWIN_PACK_32_WOW) asks for the 32-bit logon layout, which\n"
    L"signin and window then decode.\n"
    L"--user-array NAME[,NAME...] limits the user array (the machine's local accounts, which the\n"
    L"sign-in screen hands a provider since Windows 8) to the accounts named; \"\" hands none.\n"
    L"\n"
    L"The provider is not trusted. In the text output every label, value and status text is\n"
    L"printed with control characters escaped: ASCII controls, the backslash and the double quote\n"
    L"as \\xHH (\\x1B, \\x0A, \\x5C, \\x22), C1 controls, U+2028, U+2029 and the bidirectional\n"
    L"controls as \\u{H} (\\u{85}, \\u{202E}); --json escapes as JSON does. More than 256 field\n"
    L"descriptors or 256 tiles, a call that succeeds with a null label, descriptor, tile, value or\n"
    L"block, and a serialization that claims more bytes than its block holds are provider failures.\n"
    L"\n"
    L"Exit codes: 0 signed in (or done), 1 refused (by the agent or by Windows), 2 usage error,\n"
    L"3 provider failure, 4 not verified (--logon: Windows gave no token).\n"
    L"credhost --version prints the version; credhost VERB --help that subcommand's usage.\n";

namespace {

bool ParseScenario(const wchar_t* text, CREDENTIAL_PROVIDER_USAGE_SCENARIO& scenario) {
    if (text == nullptr) {
        return false;
    }
    if (std::wcscmp(text, L"logon") == 0) {
        scenario = CPUS_LOGON;
    } else if (std::wcscmp(text, L"unlock") == 0) {
        scenario = CPUS_UNLOCK_WORKSTATION;
    } else if (std::wcscmp(text, L"credui") == 0) {
        scenario = CPUS_CREDUI;
    } else {
        return false;
    }
    return true;
}

// A 32-bit value in hexadecimal (0xC000006D) or decimal.
bool ParseUnsigned32(const wchar_t* text, ULONG& parsed) {
    if (text == nullptr || *text == L'\0' || *text == L'-') {
        return false;
    }
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long value = std::wcstoul(text, &end, 0);
    if (errno != 0 || *end != L'\0' || value > 0xFFFFFFFFul) {
        return false;
    }
    parsed = static_cast<ULONG>(value);
    return true;
}

// "a,b" gives a and b; "" gives none.
std::vector<std::wstring> SplitNames(const wchar_t* text) {
    std::vector<std::wstring> names;
    std::wstring name;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        if (*c != L',') {
            name += *c;
            continue;
        }
        if (!name.empty()) {
            names.push_back(name);
        }
        name.clear();
    }
    if (!name.empty()) {
        names.push_back(name);
    }
    return names;
}

bool ParseVerb(const wchar_t* verb, CredhostCommand& command, std::wstring& error) {
    if (verb == nullptr) {
        error = L"no subcommand given";
        return false;
    }
    const std::wstring name = verb;
    if (name == L"help" || name == L"--help" || name == L"-h" || name == L"/?") {
        command.verb = CredhostVerb::Help;
    } else if (name == L"--version") {
        command.verb = CredhostVerb::Version;
    } else if (name == L"prompt") {
        command.verb = CredhostVerb::Prompt;
    } else if (name == L"list") {
        command.verb = CredhostVerb::List;
    } else if (name == L"show") {
        command.verb = CredhostVerb::Show;
    } else if (name == L"signin") {
        command.verb = CredhostVerb::SignIn;
    } else if (name == L"window") {
        command.verb = CredhostVerb::Window;
    } else if (name == L"doctor") {
        command.verb = CredhostVerb::Doctor;
    } else if (name == L"agent-check") {
        command.verb = CredhostVerb::AgentCheck;
    } else {
        error = L"unknown subcommand: " + name;
        return false;
    }
    return true;
}

bool TakesProvider(CredhostVerb verb) {
    return verb == CredhostVerb::Show || verb == CredhostVerb::SignIn || verb == CredhostVerb::Window;
}

bool AsksForHelp(int argc, const wchar_t* const* argv) {
    for (int index = 2; index < argc; ++index) {
        if (std::wcscmp(argv[index], L"--help") == 0 || std::wcscmp(argv[index], L"-h") == 0) {
            return true;
        }
    }
    return false;
}

const wchar_t* VerbName(CredhostVerb verb) {
    switch (verb) {
    case CredhostVerb::List: return L"list";
    case CredhostVerb::Show: return L"show";
    case CredhostVerb::SignIn: return L"signin";
    case CredhostVerb::Window: return L"window";
    case CredhostVerb::Doctor: return L"doctor";
    case CredhostVerb::Prompt: return L"prompt";
    case CredhostVerb::AgentCheck: return L"agent-check";
    default: return L"";
    }
}

bool ParseOption(const std::wstring& option, const wchar_t* value, int& index, CredhostCommand& command,
                 std::wstring& error) {
    if (option == L"--json") {
        command.json = true;
        return true;
    }
    const bool window = command.verb == CredhostVerb::Window;
    if (window && option == L"--submit") {
        command.submit = true;
        return true;
    }
    if ((command.verb == CredhostVerb::SignIn || command.verb == CredhostVerb::Prompt) && option == L"--logon") {
        command.logon = true;
        return true;
    }
    const bool takesProvider = TakesProvider(command.verb);
    const bool signIn = command.verb == CredhostVerb::SignIn || window;
    const bool agentCheck = command.verb == CredhostVerb::AgentCheck;
    if (value == nullptr && (option == L"--scenario" || option == L"--flags" || option == L"--clsid" ||
                             option == L"--user" || option == L"--report-status" || option == L"--screenshot" ||
                             option == L"--unknown" || option == L"--rounds" || option == L"--user-array" ||
                             option == L"--tile")) {
        error = option + L" needs a value";
        return false;
    }
    ++index;
    if (takesProvider && option == L"--scenario") {
        if (!ParseScenario(value, command.scenario)) {
            error = L"--scenario is one of logon, unlock, credui";
            return false;
        }
        return true;
    }
    if ((takesProvider || command.verb == CredhostVerb::Prompt) && option == L"--flags") {
        ULONG flags = 0;
        if (!ParseUnsigned32(value, flags)) {
            error = L"--flags takes a 32-bit value such as 0x10000000";
            return false;
        }
        command.flags = flags;
        return true;
    }
    if (takesProvider && option == L"--clsid") {
        command.clsid = value;
        return true;
    }
    if (agentCheck && option == L"--unknown") {
        command.unknownName = value;
        return true;
    }
    if (agentCheck && option == L"--rounds") {
        ULONG rounds = 0;
        if (!ParseUnsigned32(value, rounds) || rounds == 0 || rounds > 1000) {
            error = L"--rounds takes a number from 1 to 1000";
            return false;
        }
        command.rounds = rounds;
        return true;
    }
    if (takesProvider && option == L"--user-array") {
        command.limitsUserArray = true;
        command.userArray = SplitNames(value);
        return true;
    }
    if (command.verb == CredhostVerb::SignIn && option == L"--tile") {
        ULONG tile = 0;
        if (!ParseUnsigned32(value, tile)) {
            error = L"--tile takes a tile's index such as 0";
            return false;
        }
        command.hasTile = true;
        command.tile = tile;
        return true;
    }
    if ((signIn || agentCheck) && option == L"--user") {
        command.userName = value;
        command.hasUserName = true;
        return true;
    }
    if (window && option == L"--screenshot") {
        command.screenshotPath = value;
        return true;
    }
    if (signIn && option == L"--report-status") {
        ULONG status = 0;
        if (!ParseUnsigned32(value, status)) {
            error = L"--report-status takes an NTSTATUS such as 0xC000006D";
            return false;
        }
        command.reportStatus = static_cast<NTSTATUS>(status);
        return true;
    }
    error = L"unknown option: " + option;
    if (option == L"--password" || option == L"-p") {
        error += L" (the password is read from standard input, never from the command line)";
    }
    return false;
}

}  // namespace

bool ParseCredhostCommandLine(int argc, const wchar_t* const* argv, CredhostCommand& command, std::wstring& error) {
    if (!ParseVerb(argc > 1 ? argv[1] : nullptr, command, error)) {
        return false;
    }
    if (command.verb == CredhostVerb::Help || command.verb == CredhostVerb::Version) {
        return true;
    }
    if (AsksForHelp(argc, argv)) {
        command.help = true;
        return true;
    }
    const bool takesProvider = TakesProvider(command.verb);
    for (int index = 2; index < argc; ++index) {
        const std::wstring argument = argv[index];
        if (argument.rfind(L"--", 0) != 0) {
            if (!takesProvider || !command.provider.empty()) {
                error = L"unexpected argument: " + argument;
                return false;
            }
            command.provider = argument;
            continue;
        }
        if (!ParseOption(argument, index + 1 < argc ? argv[index + 1] : nullptr, index, command, error)) {
            return false;
        }
    }
    if (takesProvider && command.provider.empty()) {
        error = L"PROVIDER (a class id or a DLL path) is required";
        return false;
    }
    if (command.verb == CredhostVerb::AgentCheck && !command.hasUserName) {
        error = L"--user NAME is required";
        return false;
    }
    if (command.verb == CredhostVerb::SignIn && !command.hasUserName && !command.hasTile) {
        error = L"--user NAME (or --tile N) is required";
        return false;
    }
    if (command.verb == CredhostVerb::Window && command.screenshotPath.empty() &&
        (command.hasUserName || command.submit)) {
        error = L"--user and --submit go with --screenshot (in the window, type and click instead)";
        return false;
    }
    if (command.logon && command.reportStatus != 0) {
        error = L"--logon reports LSA's own answer to the tile: leave out --report-status";
        return false;
    }
    if (command.submit && !command.hasUserName) {
        error = L"--submit needs --user NAME";
        return false;
    }
    return true;
}

std::wstring CredhostVerbUsageText(CredhostVerb verb) {
    // The subcommand's block of the usage text: from its "  credhost VERB" line to the next
    // subcommand's or the blank line that ends the list.
    const std::wstring usage = kCredhostUsageText;
    const std::wstring start = std::wstring(L"\n  credhost ") + VerbName(verb) + L" ";
    const std::wstring startAlone = std::wstring(L"\n  credhost ") + VerbName(verb) + L"\n";
    size_t begin = usage.find(start);
    if (begin == std::wstring::npos) {
        begin = usage.find(startAlone);
    }
    if (begin == std::wstring::npos) {
        return usage;
    }
    ++begin;
    size_t end = usage.find(L"\n  credhost ", begin);
    const size_t blank = usage.find(L"\n\n", begin);
    end = std::min(end == std::wstring::npos ? usage.size() : end + 1, blank == std::wstring::npos ? usage.size() : blank + 1);
    return L"Usage:\n" + usage.substr(begin, end - begin);
}
