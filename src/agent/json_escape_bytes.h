// The byte walk of the JSON string escaping: UTF-8 text in, the bytes that stand between the
// quotation marks of a JSON string out. Calls no Windows API (the native fuzzing build links
// it); the UTF-16 side lives in json_escape_utf8.h.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/secure_bytes.h"

// The exact number of bytes that AppendJsonEscaped appends for text.
std::size_t JsonEscapedLength(std::string_view text) noexcept;

// Appends the escaped form of text to out: quotation mark, backslash and the bytes below 0x20
// escaped (\b \t \n \f \r as two bytes, any other control byte as \u00xx in lower-case hex),
// every other byte (DEL, '/', every byte of a multi-byte sequence) as itself. Makes the exact
// room once beforehand, so out grows at most once. Throws std::bad_alloc when that room cannot be
// had; out then holds what it held before.
void AppendJsonEscaped(std::string_view text, SecureBytes& out);
