// The fixed values of the agent pipe protocol: the pipe's name, the waits and the reply's size.
#pragma once

#include <windows.h>

#include <cstddef>

inline constexpr wchar_t kAgentPipeName[] = L"\\\\.\\pipe\\quillmere-agent-auth";

// How long the exchange waits for a free instance of the pipe.
inline constexpr DWORD kAgentPipeWaitMs = 5000;

// The bound on the write and, separately, on the read: an agent that accepts a connection and
// then never reads or never answers must not hold the sign-in screen.
inline constexpr DWORD kAgentIoTimeoutMs = 10000;

// The reply buffer; one byte of it always stays zero, so the longest reply is one byte shorter.
inline constexpr std::size_t kAgentReplyBufferSize = 4096;
inline constexpr DWORD kAgentLargestReply = kAgentReplyBufferSize - 1;
