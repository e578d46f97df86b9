#include "agent_commands.h"

#include "agent_serving.h"
#include "console_output.h"

namespace {

// Set by Ctrl+C, Ctrl+Break or the console closing; the main thread waits on it.
HANDLE g_stopRequested = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(g_stopRequested);
    return TRUE;
}

}  // namespace

int RunServe(const AgentCommand& command) {
    KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) {
        WriteErr("test-agent: cannot create the stop event\n");
        return kAgentExitFailure;
    }
    AgentServing serving;
    std::string message;
    if (FAILED(serving.Start(
            command.usersPath, command.serve, [](const std::string& line) { WriteOut(line + "\n"); }, "Ctrl+C stops",
            message))) {
        WriteErr(message + "\n");
        return kAgentExitFailure;
    }
    g_stopRequested = stop.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WriteOut(message + "\n");

    WaitForSingleObject(stop.Get(), INFINITE);
    serving.Stop();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    WriteOut("test-agent: stopped\n");
    return kAgentExitSuccess;
}
