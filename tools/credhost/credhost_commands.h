// credhost's subcommands. Each returns the process exit code (credhost_command_line.h).
#pragma once

#include "credhost_command_line.h"

int RunList(const CredhostCommand& command);
int RunShow(const CredhostCommand& command);
int RunSignIn(const CredhostCommand& command);
int RunWindow(const CredhostCommand& command);
int RunDoctor(const CredhostCommand& command);
int RunPrompt(const CredhostCommand& command);
int RunAgentCheck(const CredhostCommand& command);
