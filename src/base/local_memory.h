// Owner of a block that a Windows call allocated with LocalAlloc and leaves to the caller to
// free: security descriptors, string SIDs, formatted messages.
#pragma once

#include <windows.h>

#include <memory>

struct LocalFreeDeleter {
    void operator()(void* block) const noexcept { LocalFree(block); }
};

using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;
