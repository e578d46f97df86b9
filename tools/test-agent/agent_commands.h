// The test agent's subcommands. Each returns the process exit code.
#pragma once

#include "agent_command_line.h"

inline constexpr int kAgentExitSuccess = 0;
inline constexpr int kAgentExitFailure = 1;
inline constexpr int kAgentExitUsage = 2;

int RunServe(const AgentCommand& command);
int RunAddUser(const AgentCommand& command);
int RunService(const AgentCommand& command);
// service run: hands the process to the service control manager's dispatcher.
int RunServiceEntry(const AgentCommand& command);
