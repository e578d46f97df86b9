// Reads one secret line (a password) from standard input: from the console without echo, after
// a prompt on standard error, or, when standard input is a file or a pipe (scripts, tests), as
// one UTF-8 line. The secret never appears on a command line, in the console or in a log.
#pragma once

#include <windows.h>

#include "wiping_allocator.h"

// Longest secret accepted, in UTF-16 units (and four times as many UTF-8 bytes from a pipe).
inline constexpr size_t kMaxSecretUnits = 1024;

// A line holding a NUL character: refused, since every C string would end the secret there.
inline constexpr HRESULT kSecretLineHasNul = static_cast<HRESULT>(0x8007000DL);  // ERROR_INVALID_DATA

// Piped input that ends before its first byte (an empty pipe or file): no secret was given at all.
// A line holding only a line break is different: an empty secret, typed on purpose.
inline constexpr HRESULT kSecretLineMissing = static_cast<HRESULT>(0x800700E8L);  // ERROR_NO_DATA

// Fills secret with the line's text and one terminating zero; the line break is dropped. An
// empty line gives the empty secret. Results:
// S_OK; kSecretLineMissing; HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) for a line longer than kMaxSecretUnits;
// kSecretLineHasNul; HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION) for piped bytes that are
// not UTF-8; another failure when the input cannot be read. On failure secret is empty.
HRESULT ReadSecretLine(PCWSTR prompt, SecretWide& secret) noexcept;

// What a tool tells the user when ReadSecretLine failed with hr ("the password is too long ...").
const char* SecretLineErrorText(HRESULT hr) noexcept;
