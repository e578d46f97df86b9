// credhost's subcommands. Each returns the process exit code (credhost_command_line.h).
#pragma once

#include "credhost_command_line.h"
#include "provider_module.h"

int RunList(const CredhostCommand& command);
int RunShow(const CredhostCommand& command);
int RunSignIn(const CredhostCommand& command);
int RunWindow(const CredhostCommand& command);

// Releases the provider and unloads its DLL; warns when the DLL still counts live objects after
// the host released everything it was handed (a leaked reference in the provider).
void UnloadProvider(ProviderModule& module);

// Prints a JSON object or text to standard output.
void PrintReport(const CredhostCommand& command, const std::string& text, const std::string& json);
