// How the test agent words a failure on its console and in its log.
#pragma once

#include <windows.h>

#include <string>

// "0x80070005".
std::string HResultText(HRESULT hr);

// The system's text for a Win32 error on one line, then its number and name: "Access is
// denied, error 5 (ERROR_ACCESS_DENIED)"; the number alone when the system has no text for it.
std::string Win32ErrorText(DWORD error);

// Win32ErrorText for an HRESULT that carries a Win32 error, HResultText for any other.
std::string FailureText(HRESULT hr);
