#include "overlapped_pipe_io.h"

DWORD OverlappedPipeIo::Complete(BOOL started, DWORD timeoutMs, DWORD& transferred) noexcept {
    transferred = 0;
    const DWORD startError = started ? ERROR_SUCCESS : GetLastError();
    // An operation that fails at once, other than with ERROR_MORE_DATA, has queued nothing.
    if (!started && startError != ERROR_IO_PENDING && startError != ERROR_MORE_DATA) {
        return startError;
    }
    const HANDLE events[2] = {m_ioEvent, m_stopEvent};
    const DWORD waited = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        CancelIoEx(m_pipe, &m_overlapped);
        GetOverlappedResult(m_pipe, &m_overlapped, &transferred, TRUE);
        transferred = 0;
        return waited == WAIT_OBJECT_0 + 1 ? kIoStopped : kIoTimedOut;
    }
    if (!GetOverlappedResult(m_pipe, &m_overlapped, &transferred, FALSE)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

DWORD OverlappedPipeIo::Connect() noexcept {
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_ioEvent;
    ResetEvent(m_ioEvent);
    if (ConnectNamedPipe(m_pipe, &m_overlapped)) {
        return ERROR_SUCCESS;
    }
    // A client that connected between CreateNamedPipeW and this call: no event is signalled.
    if (GetLastError() == ERROR_PIPE_CONNECTED) {
        return ERROR_SUCCESS;
    }
    DWORD ignored = 0;
    return Complete(FALSE, INFINITE, ignored);
}

DWORD OverlappedPipeIo::Read(void* buffer, DWORD size, DWORD timeoutMs, DWORD& transferred) noexcept {
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_ioEvent;
    ResetEvent(m_ioEvent);
    const BOOL started = ReadFile(m_pipe, buffer, size, nullptr, &m_overlapped);
    return Complete(started, timeoutMs, transferred);
}

DWORD OverlappedPipeIo::Write(const void* data, DWORD size, DWORD timeoutMs) noexcept {
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_ioEvent;
    ResetEvent(m_ioEvent);
    const BOOL started = WriteFile(m_pipe, data, size, nullptr, &m_overlapped);
    DWORD written = 0;
    const DWORD error = Complete(started, timeoutMs, written);
    if (error == ERROR_SUCCESS && written != size) {
        return ERROR_WRITE_FAULT;
    }
    return error;
}

DWORD OverlappedPipeIo::AwaitClientClose(DWORD timeoutMs) noexcept {
    char probe = 0;
    DWORD transferred = 0;
    const DWORD error = Read(&probe, 1, timeoutMs, transferred);
    // The client closing shows as a broken pipe; that is the expected end.
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ? ERROR_SUCCESS : error;
}
