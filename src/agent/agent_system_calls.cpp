#include "agent/agent_system_calls.h"

namespace {

// Plain functions rather than the imports' addresses, so that the table is constant-initialised
// and the module gains no start-up code for it.
HANDLE WINAPI SystemCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

int WINAPI SystemWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int textLength, LPSTR out,
                                     int outSize, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    return WideCharToMultiByte(codePage, flags, text, textLength, out, outSize, defaultChar, usedDefaultChar);
}

BOOL WINAPI SystemWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return WriteFile(file, data, size, written, overlapped);
}

}  // namespace

AgentSystemCalls g_agentSystemCalls = {SystemCreateFile,    SystemWideCharToMultiByte, SystemWriteFile,
                                       GetNamedPipeServerProcessId, OpenProcess, OpenProcessToken,
                                       GetTokenInformation};
