// agent-check's robustness probes: requests and clients the module never sends, after each of
// which the agent must still approve the account within the module's deadlines. Like the
// module, no probe retries.
#pragma once

#include "agent_check_context.h"
#include "check_report.h"

// Adds one line per probe. instances is the number of instances the agent offers (from the
// pipe's information), which the slow clients take.
void CheckRobustness(CheckReport& report, AgentCheckContext& context, DWORD instances);
