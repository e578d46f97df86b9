// The test agent's command line: a subcommand and its options.
#pragma once

#include "agent_pipe_server.h"

#include <string>

enum class AgentVerb { Help, Serve, AddUser };

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
};

// Parses argv[1..]; on failure returns false with error set to a one-line reason.
bool ParseAgentCommandLine(int argc, const wchar_t* const* argv, AgentCommand& command, std::wstring& error);

// The help text, as `test-agent help` prints it.
std::wstring AgentUsageText();
