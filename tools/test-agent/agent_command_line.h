// The test agent's command line: a subcommand and its options.
#pragma once

#include "agent_pipe_server.h"

#include <string>

enum class AgentVerb { Help, Version, Serve, AddUser, Service };

// service install|uninstall|start|stop, and run: what the service control manager starts.
enum class ServiceAction { Install, Uninstall, Start, Stop, Run };

struct AgentCommand {
    AgentVerb verb = AgentVerb::Help;
    std::wstring usersPath;
    AgentServerOptions serve;
    // add-user
    std::wstring userName;
    std::wstring fullName;
    std::wstring email;
    bool isAdmin = false;
    ULONG iterations = kDefaultHashIterations;
    // service
    ServiceAction serviceAction = ServiceAction::Run;
    std::wstring logPath;  // install, run: where the service writes one line per request
    bool virtualAccount = false;
};

// Parses argv[1..]; on failure returns false with error set to a one-line reason.
bool ParseAgentCommandLine(int argc, const wchar_t* const* argv, AgentCommand& command, std::wstring& error);

// The help text, as `test-agent help` prints it.
std::wstring AgentUsageText();
