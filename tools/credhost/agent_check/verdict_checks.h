// agent-check's checks of what the agent decides and how fast: the account's approval, the
// refusals of a wrong password and of an unknown name and whether their times tell the two
// apart, and the approval times against the module's deadline.
#pragma once

#include "agent_check_context.h"
#include "check_report.h"

// Adds "approval"; true when the account was approved.
bool CheckApproval(CheckReport& report, AgentCheckContext& context);

// Adds "refusal" and "refusal timing": rounds refusals of each kind, taken in turn. wrongPassword
// is generated; unknownName names no account.
void CheckRefusals(CheckReport& report, AgentCheckContext& context, PCWSTR wrongPassword,
                   const std::wstring& unknownName, DWORD rounds);

// Adds "latency": the median and slowest of the approvals timed so far.
void CheckLatency(CheckReport& report, const AgentCheckContext& context);
