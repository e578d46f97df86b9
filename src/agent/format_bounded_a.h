// Bounded narrow formatting into a caller's buffer of fixed size, with the result codes of
// StringCchPrintfA. Calls no Windows API (the native fuzzing build links it with the escaping).
#pragma once

#include <cstddef>

#include "base/portable_hresult.h"

// mingw-w64's default printf checking is Microsoft's; the C99 formatter below follows GNU's.
#if defined(__MINGW32__)
#define QM_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define QM_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif

// Formats by the printf conventions into buffer, whose size in bytes counts the terminating
// zero. S_OK when the output and its zero fit; STRSAFE_E_INSUFFICIENT_BUFFER when they do not
// (buffer then holds the first size - 1 bytes and a zero); E_INVALIDARG for a size of 0 or above
// 2147483647 (nothing formatted; a zero written into the first byte unless size is 0).
HRESULT FormatBoundedA(char* buffer, std::size_t size, const char* format, ...) noexcept QM_PRINTF_FORMAT(3, 4);
