// Owner of an open registry key. The predefined roots are never opened through an owner, so
// null is the only value that means "no key".
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

struct RegistryKeyTraits {
    using Handle = HKEY;
    static constexpr Handle kNone = nullptr;
    static bool IsValid(Handle key) noexcept { return key != nullptr; }
    static void Close(Handle key) noexcept { RegCloseKey(key); }
};

using RegistryKey = UniqueHandle<RegistryKeyTraits>;
