// The client end of the agent pipe: opening it, and one bounded message each way.
#pragma once

#include <windows.h>

// Opens the agent pipe for overlapped reading and writing, with identification-only impersonation
// (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION): whoever owns the server end, also a process
// that created the pipe name before the agent, cannot act with the caller's token.
//
// The access asked for is GENERIC_READ (which holds READ_CONTROL, for the owner check),
// FILE_WRITE_DATA (the request) and FILE_WRITE_ATTRIBUTES (message read mode), never
// GENERIC_WRITE: on a pipe its FILE_APPEND_DATA is FILE_CREATE_PIPE_INSTANCE, and an agent would
// have to let every client it admits add instances of its name, which is how a squatter would
// get in. Returns INVALID_HANDLE_VALUE on failure, with the thread's last error set.
HANDLE OpenAgentPipe() noexcept;

// The transfers below signal completion through event, a manual-reset event that the caller
// creates once for the connection (each transfer resets it when it starts). Not the pipe handle
// itself: Windows discourages it, and under Wine a handle still signalled by an earlier transfer
// lets GetOverlappedResult report a write as done while the server is still reading the buffer,
// which the caller then wipes.
//
// The transfers share one deadline, a GetTickCount64 value: each waits only for what is left of
// it, and a transfer that cannot complete at once after the deadline has passed fails.

// Writes size bytes as one message, waiting at most until deadline. True only when all of them
// were written in time. A transfer still pending at the time-out is cancelled and completed before
// this returns, so data may be released (and wiped) right after.
bool WritePipeMessage(HANDLE pipe, HANDLE event, const void* data, DWORD size, ULONGLONG deadline) noexcept;

// Reads one message of at most capacity bytes into buffer, waiting at most until deadline; *received
// gets its length. False when the read failed, timed out, or the message is longer than capacity
// (ERROR_MORE_DATA). The transfer is completed before this returns, as for the write.
bool ReadPipeMessage(HANDLE pipe, HANDLE event, void* buffer, DWORD capacity, ULONGLONG deadline,
                     DWORD* received) noexcept;
