#include "agent/json_escape_utf8.h"

#include <string_view>

#include "agent/agent_system_calls.h"
#include "agent/json_escape_bytes.h"

namespace {

// Converts value (size bytes of UTF-8 with its terminator) and escapes it into a fresh buffer,
// which then replaces escaped. Throws std::bad_alloc.
void EscapeIntoFreshBuffer(PCWSTR value, int size, SecureBytes& escaped) {
    // The plain UTF-8 text holds the password in clear: a SecureBytes, sized exactly once.
    SecureBytes plain(static_cast<size_t>(size));
    // Same input as the size query, so this call fills exactly size bytes; its result adds nothing.
    g_agentSystemCalls.wideCharToMultiByte(CP_UTF8, 0, value, -1, plain.data(), size, nullptr, nullptr);

    SecureBytes fresh;
    AppendJsonEscaped(std::string_view(plain.data(), plain.size() - 1), fresh);
    escaped.swap(fresh);
}

}  // namespace

HRESULT JsonEscapeUtf8(PCWSTR value, SecureBytes& escaped) noexcept {
    const int size = g_agentSystemCalls.wideCharToMultiByte(CP_UTF8, 0, value, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return E_FAIL;
    }

    try {
        EscapeIntoFreshBuffer(value, size, escaped);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
