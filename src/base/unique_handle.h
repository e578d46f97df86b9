// Owns one handle of any kind and closes it exactly once. Traits says what a kind of handle is:
//   using Handle = ...;                       the handle type
//   static constexpr Handle kNone = ...;      what an empty owner holds
//   static bool IsValid(Handle) noexcept;     false for every value that stands for no handle
//   static void Close(Handle) noexcept;       closes a valid handle
#pragma once

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    // Takes ownership; a value that stands for no handle is stored as kNone.
    explicit UniqueHandle(Handle handle) noexcept : m_handle(Traits::IsValid(handle) ? handle : Traits::kNone) {}
    ~UniqueHandle() { Close(); }

    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, Traits::kNone)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, Traits::kNone);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return Traits::IsValid(m_handle); }

    // For the out-parameter of an opening call: closes what is held first.
    Handle* Receive() noexcept {
        Close();
        return &m_handle;
    }

    // A handle we own cannot usefully fail to close, so no result is passed on.
    void Close() noexcept {
        if (Traits::IsValid(m_handle)) {
            Traits::Close(m_handle);
        }
        m_handle = Traits::kNone;
    }

private:
    Handle m_handle = Traits::kNone;
};
