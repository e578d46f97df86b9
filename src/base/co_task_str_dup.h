#pragma once

#include <windows.h>

// Copies source (null counts as the empty string) into a new CoTaskMem block that the caller
// owns. The block's address is stored in *out at once: null with E_OUTOFMEMORY when the
// allocation fails.
HRESULT CoTaskStrDup(PCWSTR source, PWSTR* out) noexcept;
