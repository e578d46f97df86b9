#include "agent/format_bounded_a.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr std::size_t kLargestBufferSize = 2147483647;

}  // namespace

HRESULT FormatBoundedA(char* buffer, std::size_t size, const char* format, ...) noexcept {
    if (size == 0) {
        return E_INVALIDARG;
    }
    if (size > kLargestBufferSize) {
        buffer[0] = '\0';
        return E_INVALIDARG;
    }

    va_list args;
    va_start(args, format);
    // The C99 formatter writes at most size - 1 bytes and the zero, and returns the length the
    // whole output would have had (negative on an encoding error).
    const int length = std::vsnprintf(buffer, size, format, args);
    va_end(args);

    if (length < 0 || static_cast<std::size_t>(length) > size - 1) {
        buffer[size - 1] = '\0';
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    return S_OK;
}
