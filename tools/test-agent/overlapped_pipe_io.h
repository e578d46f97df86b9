// Bounded overlapped I/O on one server pipe instance: every wait ends at a time-out or when the
// server's stop event is set, and an abandoned operation is cancelled and settled before its
// OVERLAPPED and buffer go out of scope.
#pragma once

#include <windows.h>

// Ways an operation ends besides the Win32 error codes of the operation itself.
inline constexpr DWORD kIoTimedOut = WAIT_TIMEOUT;            // 258
inline constexpr DWORD kIoStopped = ERROR_OPERATION_ABORTED;  // 995

class OverlappedPipeIo {
public:
    OverlappedPipeIo(HANDLE pipe, HANDLE ioEvent, HANDLE stopEvent) noexcept
        : m_pipe(pipe), m_ioEvent(ioEvent), m_stopEvent(stopEvent) {}

    // Waits for a client. ERROR_SUCCESS once one is connected.
    DWORD Connect() noexcept;

    // One read of at most size bytes; ERROR_MORE_DATA when the message goes on.
    DWORD Read(void* buffer, DWORD size, DWORD timeoutMs, DWORD& transferred) noexcept;

    // One message; ERROR_SUCCESS only when all of it was written.
    DWORD Write(const void* data, DWORD size, DWORD timeoutMs) noexcept;

    // Waits until the client closes its end (or sends anything more), for at most timeoutMs.
    DWORD AwaitClientClose(DWORD timeoutMs) noexcept;

private:
    DWORD Complete(BOOL started, DWORD timeoutMs, DWORD& transferred) noexcept;

    HANDLE m_pipe;
    HANDLE m_ioEvent;
    HANDLE m_stopEvent;
    OVERLAPPED m_overlapped{};
};
