// Bounded narrow formatting into a caller's buffer of fixed size, with the result codes of
// StringCchPrintfA.
#pragma once

#include <windows.h>

#include <cstddef>

// Formats by the printf conventions into buffer, whose size in bytes counts the terminating
// zero. S_OK when the output and its zero fit; STRSAFE_E_INSUFFICIENT_BUFFER when they do not
// (buffer then holds the first size - 1 bytes and a zero); E_INVALIDARG for a size of 0 or above
// 2147483647 (nothing formatted; a zero written into the first byte unless size is 0).
HRESULT FormatBoundedA(char* buffer, std::size_t size, const char* format, ...) noexcept
    __attribute__((format(gnu_printf, 3, 4)));
