// The agent exchange in the steps the module takes, for AgentAuthClient and for the callers that
// must talk to the agent exactly as the module does (credhost agent-check): the same wait, open,
// owner rule, message mode, request encoding, deadlines and wipes, written once.
#pragma once

#include <windows.h>

#include "agent/agent_pipe_protocol.h"
#include "base/secure_bytes.h"
#include "base/unique_handle.h"

// Where an exchange stopped; Done when the step succeeded.
enum class AgentExchangeStep { Done, Wait, Open, Trust, Write, Read };

// Waits at most kAgentPipeWaitMs for a free instance of the agent pipe, opens it (OpenAgentPipe:
// identification-level impersonation, no create-instance right), checks its server by the
// owner-and-DACL rule (IsTrustedAgentServer) and sets message read mode. On Done, pipe holds the
// connection; otherwise pipe is empty and, for Wait and Open, the thread's last error is the
// call's. No retry: a client that finds every instance taken fails, as the tile does.
AgentExchangeStep ConnectToAgent(KernelHandle& pipe) noexcept;

// Replaces request with {"action":"AUTH","username":"...","password":"..."} for the two values,
// escaped as JSON in UTF-8. Every intermediate copy of the password is wiped before it is
// released. E_FAIL or E_OUTOFMEMORY (request then untouched) when the values cannot be encoded.
HRESULT BuildAgentAuthRequest(PCWSTR userName, PCWSTR password, SecureBytes& request) noexcept;

// Writes request as one message and reads one reply of at most kAgentLargestReply bytes into
// reply, both within kAgentIoTimeoutMs counted from the start of the write. request is wiped
// right after the write, whatever its outcome: the password stays readable no longer than the
// write needs. An empty reply counts as a failed read. received gets the reply's length.
AgentExchangeStep ExchangeAgentMessage(HANDLE pipe, SecureBytes& request, char (&reply)[kAgentReplyBufferSize],
                                       DWORD& received) noexcept;
