// The operating-system calls at the agent exchange's boundary: the pipe's wait, open, mode and
// transfers, the owner of the server's pipe, and the UTF-8 conversions. Tests replace
// entries, through tests/support/scoped_system_calls.h, to observe a call or to fail it where
// Wine cannot (an owner look-up that fails, a short write, a failing conversion). Not in the
// table: the clock (GetTickCount64), which cannot fail, and the transfer event's creation
// (CreateEventW): without an event the transfers refuse to start, so the write fails as it does
// for any other fault. Part of the agent library only: the DLL exports nothing of this.
#pragma once

#include <windows.h>
#include <aclapi.h>

// Each pointer has the exact type of the call it stands for, as the toolchain declares it.
struct AgentSystemCalls {
    decltype(&WaitNamedPipeW) waitNamedPipe;
    decltype(&CreateFileW) createFile;
    decltype(&SetNamedPipeHandleState) setNamedPipeHandleState;
    decltype(&GetSecurityInfo) getSecurityInfo;
    decltype(&WriteFile) writeFile;
    decltype(&ReadFile) readFile;
    decltype(&WaitForSingleObject) waitForSingleObject;
    decltype(&CancelIoEx) cancelIoEx;
    decltype(&GetOverlappedResult) getOverlappedResult;
    decltype(&WideCharToMultiByte) wideCharToMultiByte;
    decltype(&MultiByteToWideChar) multiByteToWideChar;
};

// The real kernel32 and advapi32 entry points.
extern const AgentSystemCalls kRealAgentSystemCalls;

// What the exchange calls; kRealAgentSystemCalls unless a test has replaced it.
extern AgentSystemCalls g_agentSystemCalls;
