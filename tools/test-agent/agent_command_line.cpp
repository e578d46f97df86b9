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
           L"      server owns the pipe. Logs one line per request (time, user, verdict, duration),\n"
           L"      never a password.\n"
           L"      --instances N  pipe instances served at once (default 4)\n"
           L"      --delay MS     wait MS milliseconds before each reply\n"
           L"      --no-answer    read each request but never reply (the client must time out)\n"
           L"  test-agent add-user --users FILE --user NAME [--full-name TEXT] [--email ADDRESS]\n"
           L"                      [--admin] [--iterations N]\n"
           L"      Adds a user to FILE (created when missing). The password is read from the console\n"
           L"      without echo, or as one line from standard input when that is not a console.\n"
           L"      --iterations N PBKDF2-SHA256 iterations for this user, 1 to 10000000 (default\n"
           L"                     100000); a request for an unknown name costs as many iterations as\n"
           L"                     the costliest user, so that its answer time tells nothing\n"
           L"  test-agent help\n"
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
    if (std::wcscmp(verb, L"serve") == 0) {
        command.verb = AgentVerb::Serve;
    } else if (std::wcscmp(verb, L"add-user") == 0) {
        command.verb = AgentVerb::AddUser;
    } else {
        error = std::wstring(L"unknown subcommand: ") + verb;
        return false;
    }
    while (!args.Done()) {
        const std::wstring option = args.Next();
        if (option == L"--users") {
            const wchar_t* path = args.Next();
            if (path == nullptr) {
                error = L"--users needs a file";
                return false;
            }
            command.usersPath = path;
            continue;
        }
        const bool parsed = command.verb == AgentVerb::Serve ? ParseServeOption(option, args, command, error)
                                                             : ParseAddUserOption(option, args, command, error);
        if (!parsed) {
            return false;
        }
    }
    if (command.usersPath.empty()) {
        error = L"--users FILE is required";
        return false;
    }
    if (command.verb == AgentVerb::AddUser && command.userName.empty()) {
        error = L"--user NAME is required";
        return false;
    }
    return true;
}
