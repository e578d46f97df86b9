// Ownership of blocks that a provider hands to its host from the COM task allocator: strings
// and field descriptors. The host frees each exactly once with CoTaskMemFree.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <memory>

struct CoTaskMemDeleter {
    void operator()(void* block) const noexcept { CoTaskMemFree(block); }
};

template <typename T>
using CoTaskPtr = std::unique_ptr<T, CoTaskMemDeleter>;

// Receives an out-parameter string (LPWSTR*) and frees it at scope end; null stays null. A
// failed call hands nothing over, whatever it left in the out-parameter: KeepIfSucceeded forgets
// that value unread and unfreed.
class CoTaskString {
public:
    CoTaskString() noexcept = default;
    CoTaskString(const CoTaskString&) = delete;
    CoTaskString& operator=(const CoTaskString&) = delete;
    ~CoTaskString() { CoTaskMemFree(m_text); }

    LPWSTR* Receive() noexcept {
        CoTaskMemFree(m_text);
        m_text = nullptr;
        return &m_text;
    }
    // Call with the result of the call that filled Receive(); returns it.
    HRESULT KeepIfSucceeded(HRESULT hr) noexcept {
        if (FAILED(hr)) {
            m_text = nullptr;
        }
        return hr;
    }
    PCWSTR Get() const noexcept { return m_text; }

private:
    LPWSTR m_text = nullptr;
};
