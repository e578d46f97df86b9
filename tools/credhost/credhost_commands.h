// credhost's subcommands. Each returns the process exit code (credhost_command_line.h).
#pragma once

#include "credhost_command_line.h"

int RunList(const CredhostCommand& command);
int RunShow(const CredhostCommand& command);
int RunSignIn(const CredhostCommand& command);

// Prints a JSON object or text to standard output.
void PrintReport(const CredhostCommand& command, const std::string& text, const std::string& json);
