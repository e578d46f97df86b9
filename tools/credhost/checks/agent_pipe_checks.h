// The agent pipe as the provider would find it: is it there, is its owner one the module trusts
// (by the module's own rule, agent/agent_server_identity.h), and may anyone but the trusted
// accounts create instances of its name (FILE_CREATE_PIPE_INSTANCE, which is FILE_APPEND_DATA,
// or GENERIC_WRITE, GENERIC_ALL, or the right to rewrite the DACL or the owner that grant it).
//
// Doctor connects as a client for a moment, with identification-level impersonation only, as the
// module does: the server may be an impostor and doctor runs as an administrator. It writes
// nothing; the agent sees a client that leaves without a request.
#pragma once

#include <windows.h>

#include "check_report.h"

#include <string>
#include <vector>

// Adds the agent pipe line; when the pipe could be opened, also its owner and access lines.
void CheckAgentPipe(CheckReport& report);

// The accounts other than the trusted owners that the pipe's DACL lets create instances.
std::vector<std::string> UntrustedInstanceCreators(const ACL* dacl);
