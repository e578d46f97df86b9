// UTF-8 <-> UTF-16 conversion of secrets, straight into wiping buffers, so that no temporary
// copy of the secret is left in an ordinary heap block.
#pragma once

#include <windows.h>

#include "wiping_allocator.h"

// Converts count bytes of UTF-8 into UTF-16 followed by one terminating zero. Invalid
// sequences fail the conversion (MB_ERR_INVALID_CHARS): a secret is never silently altered.
HRESULT SecretWideFromUtf8(const char* utf8, size_t count, SecretWide& wide) noexcept;

// Converts a zero-terminated UTF-16 secret into UTF-8 bytes without a terminator. Unpaired
// surrogates fail the conversion (WC_ERR_INVALID_CHARS).
HRESULT SecretUtf8FromWide(PCWSTR wide, SecretBytes& utf8) noexcept;
