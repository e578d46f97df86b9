// Bounded wide-string formatting with fixed result codes, for texts that must fit a buffer of
// known capacity (registry key paths).
#pragma once

#include <windows.h>

// Formats into destination, which holds capacity units including the terminator, with the
// runtime's printf syntax ("%ls" takes a wide string). Results:
//   S_OK                           the whole text, terminated;
//   STRSAFE_E_INSUFFICIENT_BUFFER  the text did not fit (or could not be formatted): the first
//                                  capacity - 1 units, terminated in the last unit;
//   E_INVALIDARG                   capacity is 0 (destination untouched) or above 2147483647
//                                  (a terminator in the first unit).
HRESULT FormatBoundedW(PWSTR destination, size_t capacity, PCWSTR format, ...) noexcept;
