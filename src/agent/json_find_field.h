// The flat key lookup that reads the agent's reply. Not a JSON parser: it finds the first
// quoted occurrence of a key and takes the value after the next colon, byte for byte. Calls no
// Windows API (the native fuzzing build links it).
#pragma once

#include <string>
#include <string_view>

// Looks up key (a zero-terminated narrow string) in text, whose bytes all count, zero bytes
// included. Only the first occurrence of the key in quotation marks is used, wherever it stands.
// After the first colon behind it and any spaces and tabs, the value is either
// - quoted: the bytes up to the next quotation mark, escapes left undecoded; or
// - bare: the bytes up to the next comma or closing brace (or the end), trailing spaces and
//   tabs removed.
// Returns true and replaces value when a value was found (it may be empty); returns false and
// leaves value untouched otherwise. Reads only inside text. Throws std::bad_alloc when value
// cannot be allocated; value is then untouched.
bool JsonFindField(std::string_view text, const char* key, std::string& value);
