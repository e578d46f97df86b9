// The operating-system calls of the agent exchange that tests must observe or make fail where
// Wine cannot (the flags that reach CreateFileW; a failing UTF-8 size query; a write that fails
// or stops short; a pipe server under another account, or one that cannot be identified). Only test programs replace them; the DLL exports nothing of this.
#pragma once

#include <windows.h>

struct AgentSystemCalls {
    decltype(&CreateFileW) createFile;
    decltype(&WideCharToMultiByte) wideCharToMultiByte;
    decltype(&WriteFile) writeFile;
    decltype(&GetNamedPipeServerProcessId) getNamedPipeServerProcessId;
    decltype(&OpenProcess) openProcess;
    decltype(&OpenProcessToken) openProcessToken;
    decltype(&GetTokenInformation) getTokenInformation;
};

// Points at the real calls unless a test has replaced them.
extern AgentSystemCalls g_agentSystemCalls;
