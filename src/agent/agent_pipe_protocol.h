// The fixed values of the agent pipe protocol: the client's access, the waits and the reply's size (the pipe's name is
// include/agent_pipe_name.h, shared with the tools and the tests).
#pragma once

#include <windows.h>

#include <cstddef>

// The access the exchange opens the pipe with: GENERIC_READ (which holds READ_CONTROL, for the
// trust rule), FILE_WRITE_DATA (the request) and FILE_WRITE_ATTRIBUTES (message read mode), never
// GENERIC_WRITE, whose FILE_APPEND_DATA is, on a pipe, the right to create instances. An agent's
// DACL must grant a standard user this much, or the credential prompt cannot connect.
inline constexpr DWORD kAgentPipeClientAccess = GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

// How long the exchange waits for a free instance of the pipe.
inline constexpr DWORD kAgentPipeWaitMs = 5000;

// One bound for the write and the read together, counted from the start of the write: an agent
// that accepts a connection and then reads slowly, never reads or never answers must not hold
// the sign-in screen longer than the pipe wait and this.
inline constexpr DWORD kAgentIoTimeoutMs = 10000;

// The reply buffer; one byte of it always stays zero, so the longest reply is one byte shorter.
inline constexpr std::size_t kAgentReplyBufferSize = 4096;
inline constexpr DWORD kAgentLargestReply = kAgentReplyBufferSize - 1;
