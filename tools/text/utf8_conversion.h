// UTF-8 <-> UTF-16 for text that is not secret (names, paths, messages). Invalid input is
// replaced with U+FFFD rather than refused: this text is only shown or compared.
#pragma once

#include <string>
#include <string_view>

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
