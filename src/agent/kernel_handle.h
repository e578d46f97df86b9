// Owns one kernel handle (pipe, event) and closes it exactly once.
#pragma once

#include <windows.h>

class KernelHandle {
public:
    KernelHandle() noexcept = default;
    // Takes ownership; INVALID_HANDLE_VALUE (a failed CreateFileW) counts as no handle.
    explicit KernelHandle(HANDLE handle) noexcept : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~KernelHandle() { Close(); }

    KernelHandle(KernelHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }

    // Closing a handle we own cannot usefully fail, so CloseHandle's result is ignored.
    void Close() noexcept {
        if (m_handle != nullptr) {
            CloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

private:
    HANDLE m_handle = nullptr;
};
