#include "agent/agent_system_calls.h"

const AgentSystemCalls kRealAgentSystemCalls = {
    WaitNamedPipeW,
    CreateFileW,
    SetNamedPipeHandleState,
    GetSecurityInfo,
    WriteFile,
    ReadFile,
    WaitForSingleObject,
    CancelIoEx,
    GetOverlappedResult,
    WideCharToMultiByte,
    MultiByteToWideChar,
};

AgentSystemCalls g_agentSystemCalls = kRealAgentSystemCalls;
