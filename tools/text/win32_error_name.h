// The names of the Win32 errors that the tools meet (winerror.h's own), so that a number in a
// report or on a console reads as what it is: "error 124 (ERROR_INVALID_LEVEL)". A small table,
// not the whole of winerror.h: an error outside it keeps its number alone.
#pragma once

#include <windows.h>

#include <string>

// "ERROR_ACCESS_DENIED", or null when the table does not hold the error.
const char* Win32ErrorName(DWORD error) noexcept;

// "error 5 (ERROR_ACCESS_DENIED)", or "error 12345" for an error the table does not hold.
std::string Win32ErrorNumberText(DWORD error);
