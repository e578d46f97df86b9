#include "display_escaping.h"

#include "utf8_conversion.h"

#include <cstdint>
#include <cstdio>

namespace {

bool IsEscapedCodePoint(uint32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at text[at] (no overlong forms, no surrogates,
// nothing above U+10FFFF) with its code point; 0 when the byte there starts none.
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& codePoint) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() - at < length) {
        return 0;
    }
    codePoint = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void AppendByteEscape(std::string& out, unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
    out += escaped;
}

// keepBackslashes: a backslash passes unchanged (paths, keys and account names).
std::string Escaped(std::string_view utf8, bool keepBackslashes) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const unsigned char byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F || (byte == '\\' && !keepBackslashes) || byte == '"') {
                AppendByteEscape(out, byte);
            } else {
                out.push_back(static_cast<char>(byte));
            }
            ++at;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = DecodeUtf8(utf8, at, codePoint);
        if (length == 0) {
            AppendByteEscape(out, byte);
            ++at;
            continue;
        }
        if (IsEscapedCodePoint(codePoint)) {
            char escaped[16];
            std::snprintf(escaped, sizeof(escaped), "\\u{%X}", static_cast<unsigned>(codePoint));
            out += escaped;
        } else {
            out.append(utf8.substr(at, length));
        }
        at += length;
    }
    return out;
}

}  // namespace

std::string EscapedForDisplay(std::string_view utf8) { return Escaped(utf8, false); }

std::string EscapedForDisplay(std::wstring_view text) { return EscapedForDisplay(Utf8FromWide(text)); }

std::string EscapedPathForDisplay(std::wstring_view text) { return Escaped(Utf8FromWide(text), true); }
