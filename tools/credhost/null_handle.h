// base's owner for the handles whose only "no handle" value is null and that one function
// closes (GDI objects, memory device contexts, an LSA connection).
#pragma once

#include "base/unique_handle.h"

template <typename HandleType, auto CloseFunction>
struct NullHandleTraits {
    using Handle = HandleType;
    static constexpr Handle kNone = nullptr;
    static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

template <typename Handle, auto CloseFunction>
using NullHandle = UniqueHandle<NullHandleTraits<Handle, CloseFunction>>;
