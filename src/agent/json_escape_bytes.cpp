#include "agent/json_escape_bytes.h"

namespace {

// The second byte of a two-byte escape for c, or 0 when c has none.
char ShortEscape(unsigned char c) noexcept {
    switch (c) {
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\f': return 'f';
    case '\r': return 'r';
    case '"': return '"';
    case '\\': return '\\';
    default: return 0;
    }
}

std::size_t EscapedSize(unsigned char c) noexcept {
    if (ShortEscape(c) != 0) {
        return 2;
    }
    return c < 0x20 ? 6 : 1;
}

}  // namespace

std::size_t JsonEscapedLength(std::string_view text) noexcept {
    std::size_t length = 0;
    for (char c : text) {
        length += EscapedSize(static_cast<unsigned char>(c));
    }
    return length;
}

void AppendJsonEscaped(std::string_view text, SecureBytes& out) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    out.reserve(out.size() + JsonEscapedLength(text));

    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const char shortEscape = ShortEscape(byte);
        if (shortEscape != 0) {
            out.push_back('\\');
            out.push_back(shortEscape);
        } else if (byte < 0x20) {
            const char unicodeEscape[] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            out.insert(out.end(), unicodeEscape, unicodeEscape + sizeof unicodeEscape);
        } else {
            out.push_back(c);
        }
    }
}
