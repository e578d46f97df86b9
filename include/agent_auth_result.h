// The verdict record that the agent exchange (src/agent/agent_auth_client.h) fills and the
// sign-in submission reads. A plain fixed-size record: the caller owns it and zero-fills it
// before the exchange.
#pragma once

#include <windows.h>

enum AgentAuthStatus : INT32 {
    AgentAuthDenied = 0,     // the agent replied, with a "status" other than exactly "OK"
    AgentAuthApproved = 1,   // the agent replied with "status" exactly "OK"
    AgentAuthNoVerdict = 2,  // no reply was obtained
};

inline constexpr size_t kAgentTextCapacity = 256;   // units, terminator included
inline constexpr size_t kAgentSourceCapacity = 32;  // units, terminator included

struct AgentAuthResult {
    INT32 status;                         // an AgentAuthStatus
    WCHAR message[kAgentTextCapacity];    // failure text, denial reason; empty on approval
    WCHAR user_name[kAgentTextCapacity];  // the agent's "username" on approval
    WCHAR full_name[kAgentTextCapacity];  // the agent's "full_name" on approval
    WCHAR source[kAgentSourceCapacity];   // the agent's "source" on approval
    INT32 is_admin;                       // 1 when "is_admin" is exactly "true"
};
