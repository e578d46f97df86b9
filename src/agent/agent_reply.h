// Reads the agent's verdict out of its reply into the caller's record.
#pragma once

#include <string_view>

#include "agent_auth_result.h"

// Sets result's status from the reply's "status" (approved only for exactly "OK") and fills the
// fields of that outcome: on approval user_name, full_name, source and is_admin, on denial
// message ("reason", or "Authentication denied." when it is empty or absent). A value too long
// for its field leaves the field empty. Throws std::bad_alloc, and then before it has changed
// result, so the record still says no verdict.
void ReadAgentVerdict(std::string_view reply, AgentAuthResult& result);
