#include "module/format_bounded_w.h"

#include <stdarg.h>
#include <stdio.h>

// Only for its limits and result codes; the formatting below calls the runtime directly.
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

HRESULT FormatBoundedW(PWSTR destination, size_t capacity, PCWSTR format, ...) noexcept {
    // Capacity 0 wraps to the largest value, so one unsigned test refuses both ends.
    if (capacity - 1 > STRSAFE_MAX_CCH - 1) {
        if (capacity != 0) {
            destination[0] = L'\0';
        }
        return E_INVALIDARG;
    }

    // msvcrt's _vsnwprintf, not the C99 vsnwprintf: it reports a text longer than the limit as
    // -1 and leaves a text of exactly the limit unterminated, which the checks below rely on.
    const size_t limit = capacity - 1;
    va_list arguments;
    va_start(arguments, format);
    const int written = _vsnwprintf(destination, limit, format, arguments);
    va_end(arguments);

    if (written < 0 || static_cast<size_t>(written) > limit) {
        destination[limit] = L'\0';
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    if (static_cast<size_t>(written) == limit) {
        destination[limit] = L'\0';
    }
    return S_OK;
}
