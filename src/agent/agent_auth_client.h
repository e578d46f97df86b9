// The agent subsystem's face: the one call the tile makes, and the record it fills. Everything
// else in src/agent/ is the exchange's own business.
#pragma once

#include <windows.h>

#include "agent_auth_result.h"

// Asks the local agent whether userName and password may sign in, after checking that the pipe's
// server runs under an account trusted with a password. Blocks the calling thread for the pipe
// wait (at most 5000 ms) and the write and read together (at most 10 000 ms). Never throws.
HRESULT AgentAuthClient(PCWSTR userName, PCWSTR password, AgentAuthResult* result) noexcept;
