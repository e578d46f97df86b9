// Turns a typed UTF-16 value into the escaped UTF-8 bytes that stand between the quotation marks
// of a JSON string value of the agent request.
#pragma once

#include <windows.h>

#include "base/secure_bytes.h"

// On S_OK, escaped holds exactly the escaped UTF-8 form of value (see AppendJsonEscaped), and
// what it held before is released wiped. A lone surrogate becomes U+FFFD. E_FAIL when the size of
// the UTF-8 form cannot be had, E_OUTOFMEMORY when a buffer cannot be allocated; escaped is then
// untouched. Every intermediate copy of value is wiped before it is released.
HRESULT JsonEscapeUtf8(PCWSTR value, SecureBytes& escaped) noexcept;
