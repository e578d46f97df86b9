#include "agent/agent_pipe.h"

#include "agent/agent_pipe_protocol.h"
#include "agent/agent_system_calls.h"
#include "agent/kernel_handle.h"

namespace {

// Finishes a transfer that ReadFile or WriteFile has just started with overlapped: waits at most
// timeoutMs for one still pending and cancels it on time-out; then, on every path where the
// transfer was queued, waits for its completion, so that neither the buffer nor the OVERLAPPED
// is in use when this returns. True when it completed successfully in time.
bool FinishTransfer(HANDLE pipe, OVERLAPPED& overlapped, BOOL completedAtOnce, DWORD timeoutMs, DWORD& count) noexcept {
    if (!completedAtOnce && GetLastError() != ERROR_IO_PENDING) {
        return false;  // failed at once (ERROR_MORE_DATA, a broken pipe): nothing is queued
    }

    bool inTime = true;
    if (!completedAtOnce && WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        inTime = false;
    }
    const BOOL succeeded = GetOverlappedResult(pipe, &overlapped, &count, TRUE);
    return inTime && succeeded;
}

}  // namespace

HANDLE OpenAgentPipe() noexcept {
    return g_agentSystemCalls.createFile(kAgentPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                         nullptr);
}

bool WritePipeMessage(HANDLE pipe, const void* data, DWORD size, DWORD timeoutMs) noexcept {
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return false;
    }

    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    const BOOL completedAtOnce = WriteFile(pipe, data, size, nullptr, &overlapped);
    DWORD written = 0;
    return FinishTransfer(pipe, overlapped, completedAtOnce, timeoutMs, written) && written == size;
}

bool ReadPipeMessage(HANDLE pipe, void* buffer, DWORD capacity, DWORD timeoutMs, DWORD* received) noexcept {
    *received = 0;
    KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return false;
    }

    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    const BOOL completedAtOnce = ReadFile(pipe, buffer, capacity, nullptr, &overlapped);
    return FinishTransfer(pipe, overlapped, completedAtOnce, timeoutMs, *received);
}
