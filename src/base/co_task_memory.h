// Owners for CoTaskMem blocks that we still hold. CoTaskString frees plainly; WipingCoTaskString
// zero-fills its characters before the block goes back to the allocator, so every path that
// drops a secret (replacement, clearing, destruction) wipes it without having to remember to.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <memory>

struct CoTaskMemFreeDeleter {
    void operator()(void* block) const noexcept { CoTaskMemFree(block); }
};

// SecureZeroMemory, not memset: the block is freed right after, so a plain fill is a dead store
// that the compiler may remove. The terminator is already zero.
struct WipingCoTaskStrDeleter {
    void operator()(PWSTR text) const noexcept {
        SecureZeroMemory(text, wcslen(text) * sizeof(WCHAR));
        CoTaskMemFree(text);
    }
};

using CoTaskString = std::unique_ptr<WCHAR[], CoTaskMemFreeDeleter>;
using WipingCoTaskString = std::unique_ptr<WCHAR[], WipingCoTaskStrDeleter>;
