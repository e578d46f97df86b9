// Ownership of blocks that a provider hands to its host from the COM task allocator: strings
// and field descriptors, on base's owners. The host frees each exactly once.
#pragma once

#include <windows.h>

#include "base/co_task_memory.h"

#include <memory>

template <typename T>
using CoTaskPtr = std::unique_ptr<T, CoTaskMemFreeDeleter>;

// Receives an out-parameter string (LPWSTR*) and frees it at scope end, wiped first: the host
// cannot know which of a provider's strings carry secrets. Null stays null. A failed call hands
// nothing over, whatever it left in the out-parameter: KeepIfSucceeded forgets that value unread
// and unfreed. Every Receive() is followed by KeepIfSucceeded.
class ReceivedCoTaskString {
public:
    LPWSTR* Receive() noexcept {
        m_text.reset();
        m_received = nullptr;
        return &m_received;
    }
    // Call with the result of the call that filled Receive(); returns it.
    HRESULT KeepIfSucceeded(HRESULT hr) noexcept {
        m_text.reset(SUCCEEDED(hr) ? m_received : nullptr);
        m_received = nullptr;
        return hr;
    }
    PCWSTR Get() const noexcept { return m_text.get(); }

private:
    LPWSTR m_received = nullptr;
    WipingCoTaskString m_text;
};
