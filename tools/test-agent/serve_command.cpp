#include "agent_commands.h"

#include "console_output.h"
#include "user_store_file.h"
#include "utf8_conversion.h"

#include <cstdio>
#include <string>

namespace {

// Set by Ctrl+C, Ctrl+Break or the console closing; the main thread waits on it.
HANDLE g_stopRequested = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(g_stopRequested);
    return TRUE;
}

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

}  // namespace

int RunServe(const AgentCommand& command) {
    UserStore store;
    std::string error;
    HRESULT hr = LoadUserStore(command.usersPath.c_str(), store, error);
    if (FAILED(hr)) {
        WriteErr("test-agent: " + Utf8FromWide(command.usersPath) + ": " + error + " (" + HResultText(hr) + ")\n");
        return kAgentExitFailure;
    }
    KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) {
        WriteErr("test-agent: cannot create the stop event\n");
        return kAgentExitFailure;
    }
    g_stopRequested = stop.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    AgentPipeServer server(store, command.serve, [](const std::string& line) { WriteOut(line + "\n"); });
    hr = server.Start();
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
        WriteErr("test-agent: another server already owns " + Utf8FromWide(command.serve.pipeName) + "\n");
        return kAgentExitFailure;
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_OWNER)) {
        WriteErr(
            "test-agent: this account cannot own the pipe: qm-credprovider trusts only a pipe owned by "
            "LocalSystem, the Administrators or NT SERVICE\\qm-agent; run test-agent as the qm-agent "
            "service or from an elevated prompt\n");
        return kAgentExitFailure;
    }
    if (FAILED(hr)) {
        WriteErr("test-agent: cannot create the pipe (" + HResultText(hr) + ")\n");
        return kAgentExitFailure;
    }
    std::string mode = command.serve.neverAnswer ? ", never answering"
                       : command.serve.replyDelayMs != 0
                           ? ", replies delayed by " + std::to_string(command.serve.replyDelayMs) + " ms"
                           : "";
    WriteOut("test-agent: serving " + Utf8FromWide(command.serve.pipeName) + " for " +
             std::to_string(store.Users().size()) + " user(s), " + std::to_string(command.serve.instances) +
             " instances" + mode + " (not the production agent; Ctrl+C stops)\n");

    WaitForSingleObject(stop.Get(), INFINITE);
    server.Stop();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    WriteOut("test-agent: stopped\n");
    return kAgentExitSuccess;
}
