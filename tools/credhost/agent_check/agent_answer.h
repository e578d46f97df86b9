// One exchange with the agent, made by the module's own steps (agent/agent_exchange.h: the
// wait, the open, the owner rule, message mode, the bounded write and read, the wipe), and
// timed: what credhost agent-check learns from each of its requests.
#pragma once

#include <windows.h>

#include "agent/agent_exchange.h"
#include "agent_auth_result.h"

#include <string>

struct AgentAnswer {
    AgentExchangeStep step = AgentExchangeStep::Done;  // where the exchange stopped
    DWORD error = ERROR_SUCCESS;                        // the failed step's last error
    std::string reply;                                  // the reply's bytes, when step is Done
    double milliseconds = 0;                            // from the start of the write to the reply
};

// Connects as the module does and sends request as one message; request is wiped right after
// the write, as the module wipes its own.
AgentAnswer AskAgent(SecureBytes& request);

// The module's request for userName and password, sent as AskAgent sends it.
AgentAnswer AskAgentToSignIn(const std::wstring& userName, PCWSTR password);

// What the module reads out of the answer (agent/agent_reply.h); no verdict without a reply.
AgentAuthResult ModuleVerdictOf(const AgentAnswer& answer);

bool IsApproval(const AgentAnswer& answer);

// Whether the client found no free instance: every one was busy for the module's wait, or
// another client took the one that came free (the module does not retry either).
bool FoundEveryInstanceBusy(const AgentAnswer& answer);

// "12.3 ms"
std::string MillisecondsText(double milliseconds);

// "approved as demo in 12 ms", "refused: Invalid ...", "no reply within the module's 10 s", ...
// Agent text in it is escaped for display.
std::string AnswerText(const AgentAnswer& answer);
