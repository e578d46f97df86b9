// Owns one handle of any kind and closes it exactly once. A kind is three things:
//   Handle           the handle type; an empty owner holds Handle{} (null)
//   CloseFunction    closes a valid handle (its result is ignored: see Close)
//   IsValidFunction  false for every value that stands for no handle; by default null alone
// Each kind is one alias: the two base knows are below, the others live with their users
// (logon's LSA connection, the tools' GDI objects and service handles).
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle>
constexpr bool IsNonNullHandle(Handle handle) noexcept {
    return handle != Handle{};
}

template <typename Handle, auto CloseFunction, auto IsValidFunction = &IsNonNullHandle<Handle>>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    // Takes ownership; a value that stands for no handle is stored as Handle{}.
    explicit UniqueHandle(Handle handle) noexcept : m_handle(IsValidFunction(handle) ? handle : Handle{}) {}
    ~UniqueHandle() { Close(); }

    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, Handle{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, Handle{});
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return IsValidFunction(m_handle); }

    // For the out-parameter of an opening call: closes what is held first.
    Handle* Receive() noexcept {
        Close();
        return &m_handle;
    }

    // A handle we own cannot usefully fail to close, so no result is passed on.
    void Close() noexcept {
        if (IsValidFunction(m_handle)) {
            CloseFunction(m_handle);
        }
        m_handle = Handle{};
    }

private:
    Handle m_handle{};
};

// Both null and INVALID_HANDLE_VALUE mean "no handle": kernel creation calls disagree on which
// one reports a failure.
inline bool IsValidKernelHandle(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// A kernel object: pipe, event, file, process, token.
using KernelHandle = UniqueHandle<HANDLE, CloseHandle, IsValidKernelHandle>;

// An open registry key. The predefined roots are never opened through an owner, so null is the
// only value that means "no key".
using RegistryKey = UniqueHandle<HKEY, RegCloseKey>;
