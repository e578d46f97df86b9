#include "auth_request.h"

#include <new>

namespace {

// A recursive-descent reader of exactly one flat object. It accepts standard JSON white space
// between tokens, every JSON escape, and refuses anything it cannot represent faithfully:
// values that are not strings, a decoded NUL, invalid UTF-8 or an unpaired surrogate.
class RequestReader {
public:
    RequestReader(const char* data, size_t size) noexcept : m_cursor(data), m_end(data + size) {}

    bool ReadObject(AuthRequest& request) {
        SkipWhiteSpace();
        if (!Consume('{')) {
            return false;
        }
        SkipWhiteSpace();
        if (Consume('}')) {
            return AtEndAfterWhiteSpace();
        }
        for (;;) {
            if (!ReadMember(request)) {
                return false;
            }
            SkipWhiteSpace();
            if (Consume('}')) {
                return AtEndAfterWhiteSpace();
            }
            if (!Consume(',')) {
                return false;
            }
            SkipWhiteSpace();
        }
    }

private:
    bool ReadMember(AuthRequest& request) {
        std::string key;
        if (!ReadString(key)) {
            return false;
        }
        SkipWhiteSpace();
        if (!Consume(':')) {
            return false;
        }
        SkipWhiteSpace();
        if (key == "password") {
            return Once(request.hasPassword) && ReadString(request.password);
        }
        if (key == "username") {
            return Once(request.hasUsername) && ReadString(request.username);
        }
        if (key == "action") {
            return Once(request.hasAction) && ReadString(request.action);
        }
        // An unknown key may carry anything, a secret included, so its value is wiped too.
        SecretBytes ignored;
        return ReadString(ignored);
    }

    static bool Once(bool& seen) {
        if (seen) {
            return false;
        }
        seen = true;
        return true;
    }

    template <typename Output>
    bool ReadString(Output& out) {
        if (!Consume('"')) {
            return false;
        }
        while (m_cursor < m_end) {
            const unsigned char c = static_cast<unsigned char>(*m_cursor);
            if (c == '"') {
                ++m_cursor;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++m_cursor;
                if (!ReadEscape(out)) {
                    return false;
                }
                continue;
            }
            if (!CopyUtf8Sequence(out)) {
                return false;
            }
        }
        return false;
    }

    template <typename Output>
    bool ReadEscape(Output& out) {
        if (m_cursor >= m_end) {
            return false;
        }
        const char c = *m_cursor++;
        switch (c) {
        case '"': out.push_back('"'); return true;
        case '\\': out.push_back('\\'); return true;
        case '/': out.push_back('/'); return true;
        case 'b': out.push_back('\b'); return true;
        case 'f': out.push_back('\f'); return true;
        case 'n': out.push_back('\n'); return true;
        case 'r': out.push_back('\r'); return true;
        case 't': out.push_back('\t'); return true;
        case 'u': return ReadUnicodeEscape(out);
        default: return false;
        }
    }

    template <typename Output>
    bool ReadUnicodeEscape(Output& out) {
        unsigned int unit = 0;
        if (!ReadHex4(unit)) {
            return false;
        }
        unsigned long codePoint = unit;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            unsigned int low = 0;
            if (!Consume('\\') || !Consume('u') || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) {
                return false;
            }
            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        if (codePoint == 0) {
            return false;
        }
        AppendUtf8(codePoint, out);
        return true;
    }

    bool ReadHex4(unsigned int& value) {
        if (m_end - m_cursor < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_cursor++;
            unsigned int digit = 0;
            if (c >= '0' && c <= '9') {
                digit = static_cast<unsigned int>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned int>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned int>(c - 'A' + 10);
            } else {
                return false;
            }
            value = (value << 4) | digit;
        }
        return true;
    }

    template <typename Output>
    static void AppendUtf8(unsigned long codePoint, Output& out) {
        if (codePoint < 0x80) {
            out.push_back(static_cast<char>(codePoint));
        } else if (codePoint < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else if (codePoint < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
        }
    }

    // Copies one well-formed UTF-8 sequence: no overlong forms, no surrogates, nothing above
    // U+10FFFF.
    template <typename Output>
    bool CopyUtf8Sequence(Output& out) {
        const unsigned char lead = static_cast<unsigned char>(*m_cursor);
        size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (static_cast<size_t>(m_end - m_cursor) < length) {
            return false;
        }
        for (size_t i = 1; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(m_cursor[i]);
            const unsigned char min = i == 1 ? low : 0x80;
            const unsigned char max = i == 1 ? high : 0xBF;
            if (c < min || c > max) {
                return false;
            }
        }
        out.insert(out.end(), m_cursor, m_cursor + length);
        m_cursor += length;
        return true;
    }

    bool Consume(char expected) noexcept {
        if (m_cursor < m_end && *m_cursor == expected) {
            ++m_cursor;
            return true;
        }
        return false;
    }

    void SkipWhiteSpace() noexcept {
        while (m_cursor < m_end && (*m_cursor == ' ' || *m_cursor == '\t' || *m_cursor == '\n' || *m_cursor == '\r')) {
            ++m_cursor;
        }
    }

    bool AtEndAfterWhiteSpace() noexcept {
        SkipWhiteSpace();
        return m_cursor == m_end;
    }

    const char* m_cursor;
    const char* m_end;
};

void ClearRequest(AuthRequest& request) noexcept {
    request.action.clear();
    request.username.clear();
    // Swapping the buffer out frees its block through the wiping allocator.
    SecretBytes().swap(request.password);
    request.hasAction = request.hasUsername = request.hasPassword = false;
}

}  // namespace

RequestParseStatus ParseAuthRequest(const char* data, size_t size, AuthRequest& request) noexcept {
    ClearRequest(request);
    try {
        RequestReader reader(data, size);
        if (reader.ReadObject(request)) {
            return RequestParseStatus::Parsed;
        }
        ClearRequest(request);
        return RequestParseStatus::Malformed;
    } catch (const std::bad_alloc&) {
        ClearRequest(request);
        return RequestParseStatus::OutOfMemory;
    }
}
