// Copies the exchange's fixed texts into the record's text fields.
#pragma once

#include <windows.h>

#include <cstddef>

// Copies at most N - 1 units of text and always the terminating zero. Every fixed text of the
// exchange is shorter, so none is ever cut.
template <std::size_t N>
void CopyFixedText(WCHAR (&field)[N], PCWSTR text) noexcept {
    std::size_t i = 0;
    for (; i + 1 < N && text[i] != L'\0'; ++i) {
        field[i] = text[i];
    }
    field[i] = L'\0';
}
