// Owner of a kernel handle (pipe, event, process, token). Both null and INVALID_HANDLE_VALUE
// mean "no handle": creation calls disagree on which one reports a failure.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

struct KernelHandleTraits {
    using Handle = HANDLE;
    static constexpr Handle kNone = nullptr;
    static bool IsValid(Handle handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
