// Storage for the tools' secrets: the module's own wiping allocator (every block is zeroed
// before it returns to the heap, growth included), over UTF-8 bytes and UTF-16 units. Never keep
// a secret in std::string: its small-string buffer is never wiped.
#pragma once

#include <vector>

#include "base/secure_bytes.h"

// UTF-8 bytes of a secret, without a terminator unless a caller appends one.
using SecretBytes = SecureBytes;

// UTF-16 text of a secret; holders that pass it to a C API keep a terminating zero at the end.
using SecretWide = std::vector<wchar_t, WipingAllocator<wchar_t>>;
