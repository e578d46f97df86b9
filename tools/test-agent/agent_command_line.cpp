#include "agent_command_line.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

// The usage text names the pipe that the server serves, from its one definition.
std::wstring AgentUsageText() {
    return L"test-agent: a reference server for the qm-agent pipe protocol, for development, demos and\n"
           L"end-to-end tests. It is NOT the production qm-agent: it checks passwords against a local\n"
           L"users file and nothing else. Do not deploy it.\n"
           L"\n"
           L"Usage:\n"
           L"  test-agent serve --users FILE [--instances N] [--delay MS] [--no-answer]\n"
           L"      Serves " +
           std::wstring(kAgentPipeName) +
           L" until Ctrl+C. Refuses to start when another\n"
           L"      server owns the pipe. Logs one line per request (time, the caller's account, user,\n"
           L"      verdict, duration), never a password. A request gets 10 s from the connection; a\n"
           L"      longer message than the module can send is cut off at once.\n"
           L"      --instances N  pipe instances served at once (default 8)\n"
           L"      --delay MS     wait MS milliseconds before each reply\n"
           L"      --no-answer    read each request but never reply (the client must time out)\n"
           L"  test-agent add-user --users FILE --user NAME [--full-name TEXT] [--email ADDRESS]\n"
           L"                      [--admin] [--iterations N]\n"
           L"      Adds a user to FILE (created when missing). The password is read from the console\n"
           L"      without echo, or as one line from standard input when that is not a console.\n"
           L"      FILE is replaced, never rewritten in place, by a file that only LocalSystem and the\n"
           L"      Administrators may change; an existing FILE that others may change is refused.\n"
           L"      --iterations N PBKDF2-SHA256 iterations for this user, 1 to 10000000 (default\n"
           L"                     100000); every request costs as many iterations as the costliest\n"
           L"                     user, so that the answer time tells nothing about the name\n"
           L"  test-agent service install --users FILE [--log FILE] [--virtual-account]\n"
           L"      Installs the Windows service qm-agent (from an elevated prompt): started at boot,\n"
           L"      restarted after a failure, with an unrestricted service SID, serving the pipe as\n"
           L"      serve does for the users in FILE (its absolute path is stored). It runs as\n"
           L"      LocalSystem, or with --virtual-account as NT SERVICE\\qm-agent, which must then be\n"
           L"      able to read FILE and write the log. --log FILE: one line per request, as serve\n"
           L"      prints them; without it the service logs nothing. Refused, naming the account and\n"
           L"      the path, when an account other than LocalSystem, the Administrators,\n"
           L"      TrustedInstaller or NT SERVICE\\qm-agent may change FILE, the log, test-agent.exe\n"
           L"      or a folder that holds one of them.\n"
           L"  test-agent service start | stop | uninstall\n"
           L"      Starts the service and waits until it serves; stops it, ending every connection\n"
           L"      at once; stops and removes it.\n"
           L"  test-agent service run --users FILE [--log FILE]\n"
           L"      What the service control manager starts; fails on a console.\n"
           L"  test-agent help | --version\n"
           L"\n"
           L"Exit codes: 0 success, 1 failure, 2 usage error.\n";
}

namespace {

bool ParseCount(const wchar_t* text, unsigned long min, unsigned long max, unsigned long& value) {
    if (text == nullptr || !std::iswdigit(text[0])) {
        return false;
    }
    wchar_t* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::wcstoul(text, &end, 10);
    if (errno != 0 || *end != L'\0' || parsed < min || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

class ArgumentCursor {
public:
    ArgumentCursor(int argc, const wchar_t* const* argv) : m_argc(argc), m_argv(argv) {}
    bool Done() const { return m_index >= m_argc; }
    const wchar_t* Next() { return m_index < m_argc ? m_argv[m_index++] : nullptr; }

private:
    int m_argc;
    const wchar_t* const* m_argv;
    int m_index = 1;
};

// Takes the option's number, from min to max, into value; false with error set to rangeText when
// it is missing or out of range.
bool TakeCount(ArgumentCursor& args, unsigned long min, unsigned long max, const wchar_t* rangeText,
               unsigned long& value, std::wstring& error) {
    if (!ParseCount(args.Next(), min, max, value)) {
        error = rangeText;
        return false;
    }
    return true;
}

bool ParseServeOption(const std::wstring& option, ArgumentCursor& args, AgentCommand& command, std::wstring& error) {
    if (option == L"--no-answer") {
        command.serve.neverAnswer = true;
        return true;
    }
    if (option == L"--instances") {
        return TakeCount(args, 1, 64, L"--instances takes a number from 1 to 64", command.serve.instances, error);
    }
    if (option == L"--delay") {
        return TakeCount(args, 0, 3600000, L"--delay takes milliseconds from 0 to 3600000", command.serve.replyDelayMs,
                         error);
    }
    error = L"unknown option for serve: " + option;
    return false;
}

bool ParseAddUserOption(const std::wstring& option, ArgumentCursor& args, AgentCommand& command, std::wstring& error) {
    if (option == L"--admin") {
        command.isAdmin = true;
        return true;
    }
    if (option == L"--iterations") {
        return TakeCount(args, kMinHashIterations, kMaxHashIterations,
                         L"--iterations takes a number from 1 to 10000000", command.iterations, error);
    }
    std::wstring* target = option == L"--user"        ? &command.userName
                           : option == L"--full-name" ? &command.fullName
                           : option == L"--email"     ? &command.email
                                                      : nullptr;
    if (target == nullptr) {
        error = L"unknown option for add-user: " + option;
        return false;
    }
    const wchar_t* value = args.Next();
    if (value == nullptr) {
        error = option + L" needs a value";
        return false;
    }
    *target = value;
    return true;
}

bool ParseServiceAction(const wchar_t* word, ServiceAction& action, std::wstring& error) {
    static const struct {
        const wchar_t* word;
        ServiceAction action;
    } kActions[] = {
        {L"install", ServiceAction::Install}, {L"uninstall", ServiceAction::Uninstall},
        {L"start", ServiceAction::Start},     {L"stop", ServiceAction::Stop},
        {L"run", ServiceAction::Run},
    };
    for (const auto& known : kActions) {
        if (word != nullptr && std::wcscmp(word, known.word) == 0) {
            action = known.action;
            return true;
        }
    }
    error = L"service takes install, uninstall, start or stop";
    return false;
}

// Only install and run take options: the users file, the log, and (install) the account.
bool ParseServiceOption(const std::wstring& option, ArgumentCursor& args, AgentCommand& command, std::wstring& error) {
    const bool takesFiles =
        command.serviceAction == ServiceAction::Install || command.serviceAction == ServiceAction::Run;
    if (option == L"--virtual-account" && command.serviceAction == ServiceAction::Install) {
        command.virtualAccount = true;
        return true;
    }
    if (option == L"--log" && takesFiles) {
        const wchar_t* path = args.Next();
        if (path == nullptr) {
            error = L"--log needs a file";
            return false;
        }
        command.logPath = path;
        return true;
    }
    error = L"unknown option for service: " + option;
    return false;
}

bool ParseOption(const std::wstring& option, ArgumentCursor& args, AgentCommand& command, std::wstring& error) {
    switch (command.verb) {
    case AgentVerb::Serve: return ParseServeOption(option, args, command, error);
    case AgentVerb::AddUser: return ParseAddUserOption(option, args, command, error);
    case AgentVerb::Service: return ParseServiceOption(option, args, command, error);
    case AgentVerb::Help:
    case AgentVerb::Version: break;
    }
    return false;
}

bool NeedsUsersFile(const AgentCommand& command) {
    return command.verb != AgentVerb::Service || command.serviceAction == ServiceAction::Install ||
           command.serviceAction == ServiceAction::Run;
}

}  // namespace

bool ParseAgentCommandLine(int argc, const wchar_t* const* argv, AgentCommand& command, std::wstring& error) {
    ArgumentCursor args(argc, argv);
    const wchar_t* verb = args.Next();
    if (verb == nullptr) {
        error = L"no subcommand given";
        return false;
    }
    if (std::wcscmp(verb, L"help") == 0 || std::wcscmp(verb, L"--help") == 0 || std::wcscmp(verb, L"-h") == 0 ||
        std::wcscmp(verb, L"/?") == 0) {
        command.verb = AgentVerb::Help;
        return true;
    }
    if (std::wcscmp(verb, L"--version") == 0) {
        command.verb = AgentVerb::Version;
        return true;
    }
    // A subcommand's --help gives the whole text: it is short, and the subcommands share its notes.
    for (int index = 2; index < argc; ++index) {
        if (std::wcscmp(argv[index], L"--help") == 0 || std::wcscmp(argv[index], L"-h") == 0) {
            command.verb = AgentVerb::Help;
            return true;
        }
    }
    if (std::wcscmp(verb, L"serve") == 0) {
        command.verb = AgentVerb::Serve;
    } else if (std::wcscmp(verb, L"add-user") == 0) {
        command.verb = AgentVerb::AddUser;
    } else if (std::wcscmp(verb, L"service") == 0) {
        command.verb = AgentVerb::Service;
        if (!ParseServiceAction(args.Next(), command.serviceAction, error)) {
            return false;
        }
    } else {
        error = std::wstring(L"unknown subcommand: ") + verb;
        return false;
    }
    while (!args.Done()) {
        const std::wstring option = args.Next();
        if (option == L"--users" && NeedsUsersFile(command)) {
            const wchar_t* path = args.Next();
            if (path == nullptr) {
                error = L"--users needs a file";
                return false;
            }
            command.usersPath = path;
            continue;
        }
        if (!ParseOption(option, args, command, error)) {
            return false;
        }
    }
    if (command.usersPath.empty() && NeedsUsersFile(command)) {
        error = L"--users FILE is required";
        return false;
    }
    if (command.verb == AgentVerb::AddUser && command.userName.empty()) {
        error = L"--user NAME is required";
        return false;
    }
    return true;
}
