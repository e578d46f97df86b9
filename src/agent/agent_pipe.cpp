#include "agent/agent_pipe.h"

#include "agent/agent_pipe_protocol.h"
#include "agent/agent_system_calls.h"
#include "agent_pipe_name.h"

namespace {

// What is left until deadline, 0 once it has passed. Never more than the deadline was set to, so
// it fits a DWORD.
DWORD MillisecondsUntil(ULONGLONG deadline) noexcept {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

// Runs one overlapped transfer that start begins (ReadFile or WriteFile on the given OVERLAPPED):
// waits for it until deadline when it is pending and cancels it on time-out; then, on every
// path where it was queued, waits for its completion, so that neither the caller's buffer nor the
// OVERLAPPED is in use when this returns. True when it completed successfully in time.
template <typename Start>
bool BoundedTransfer(HANDLE pipe, HANDLE event, ULONGLONG deadline, DWORD& count, Start start) noexcept {
    if (event == nullptr) {
        return false;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;  // ReadFile and WriteFile reset it when they start
    const BOOL completedAtOnce = start(overlapped);
    if (!completedAtOnce && GetLastError() != ERROR_IO_PENDING) {
        return false;  // failed at once (ERROR_MORE_DATA, a broken pipe): nothing is queued
    }

    bool inTime = true;
    if (!completedAtOnce &&
        g_agentSystemCalls.waitForSingleObject(event, MillisecondsUntil(deadline)) != WAIT_OBJECT_0) {
        g_agentSystemCalls.cancelIoEx(pipe, &overlapped);
        inTime = false;
    }
    const BOOL succeeded = g_agentSystemCalls.getOverlappedResult(pipe, &overlapped, &count, TRUE);
    return inTime && succeeded;
}

}  // namespace

HANDLE OpenAgentPipe() noexcept {
    return g_agentSystemCalls.createFile(kAgentPipeName, kAgentPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                         nullptr);
}

bool WritePipeMessage(HANDLE pipe, HANDLE event, const void* data, DWORD size, ULONGLONG deadline) noexcept {
    DWORD written = 0;
    const bool completed = BoundedTransfer(pipe, event, deadline, written, [&](OVERLAPPED& overlapped) {
        return g_agentSystemCalls.writeFile(pipe, data, size, nullptr, &overlapped);
    });
    return completed && written == size;
}

bool ReadPipeMessage(HANDLE pipe, HANDLE event, void* buffer, DWORD capacity, ULONGLONG deadline,
                     DWORD* received) noexcept {
    *received = 0;
    return BoundedTransfer(pipe, event, deadline, *received, [&](OVERLAPPED& overlapped) {
        return g_agentSystemCalls.readFile(pipe, buffer, capacity, nullptr, &overlapped);
    });
}
