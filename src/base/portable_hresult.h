// HRESULT and the few result codes that code built natively as well (the fuzz build, no Windows
// headers) returns. A Windows build takes them from the platform's headers; elsewhere the same
// 32-bit values are spelt out here.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <strsafe.h>
#else
#include <cstdint>

typedef std::int32_t HRESULT;

#define S_OK ((HRESULT)0)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007A)
#endif
