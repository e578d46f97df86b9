#include "agent/json_escape_bytes.h"

#include <cstring>

#include "agent/format_bounded_a.h"

namespace {

// "\u00xx": six bytes; the buffer has room for them, the formatter's zero and one spare byte.
constexpr std::size_t kUnicodeEscapeLength = 6;
constexpr std::size_t kUnicodeEscapeBufferSize = 8;

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
    return c < 0x20 ? kUnicodeEscapeLength : 1;
}

// Writes the \u00xx escape of a control byte at cursor and returns the position after it. The
// buffer briefly holds a byte of the caller's text (a password's control character), so it is
// wiped before it goes.
char* WriteUnicodeEscape(unsigned char byte, char* cursor) noexcept {
    char escape[kUnicodeEscapeBufferSize];
    // A byte below 0x20 always formats to exactly six bytes, so the result needs no check.
    FormatBoundedA(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
    std::memcpy(cursor, escape, kUnicodeEscapeLength);
    WipeBytes(escape, sizeof escape);
    return cursor + kUnicodeEscapeLength;
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
    // The one growth, sized exactly; everything after it writes into room that is already there.
    const std::size_t start = out.size();
    out.resize(start + JsonEscapedLength(text));

    char* cursor = out.data() + start;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const char shortEscape = ShortEscape(byte);
        if (shortEscape != 0) {
            *cursor++ = '\\';
            *cursor++ = shortEscape;
        } else if (byte < 0x20) {
            cursor = WriteUnicodeEscape(byte, cursor);
        } else {
            *cursor++ = c;
        }
    }
}
