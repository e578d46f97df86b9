// Two more properties of the agent pipe, read through a client's handle of it (which needs
// READ_CONTROL and FILE_READ_ATTRIBUTES; the module's own open has both): that its DACL turns
// away network logons before it allows anyone anything, and that it is a message pipe, whose
// request and reply are one message each. For doctor and agent-check alike.
#pragma once

#include <windows.h>

#include "check_report.h"

// Adds "agent pipe network": OK when a deny entry for NETWORK (S-1-5-2) that takes away the
// right to write a request stands before every allowing entry.
void CheckAgentPipeDeniesNetwork(CheckReport& report, HANDLE pipe);

// Adds "agent pipe mode": OK for a message pipe, FAIL for a byte pipe.
void CheckAgentPipeIsMessagePipe(CheckReport& report, HANDLE pipe);

// Whether the DACL denies NETWORK the write of a request before any entry allows anything.
bool DaclDeniesNetworkFirst(const ACL* dacl) noexcept;
