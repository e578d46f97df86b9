// The escaping's byte walk against two oracles:
// - for any bytes, the output holds no raw control byte and no unescaped quotation mark or
//   backslash, has the announced length, and decoding its escapes gives back exactly the input;
// - for valid UTF-8, the output wrapped in quotation marks parses as a JSON string (nlohmann)
//   back to exactly the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "agent/json_escape_bytes.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool InRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// RFC 3629 UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (InRange(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (InRange(lead, 0xF0, 0xF4)) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (!InRange(p[i + k], k == 1 ? low : 0x80, k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    Check(c >= 'a' && c <= 'f');  // the walk writes lower-case digits only
    return c - 'a' + 10;
}

// Decodes the escapes that the walk writes, checking the output's form on the way.
std::string Unescape(std::string_view escaped) {
    std::string plain;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(escaped[i]);
        Check(c >= 0x20 && c != '"');
        if (c != '\\') {
            plain += static_cast<char>(c);
            continue;
        }
        Check(i + 1 < escaped.size());
        const char kind = escaped[++i];
        switch (kind) {
        case '"': plain += '"'; break;
        case '\\': plain += '\\'; break;
        case 'b': plain += '\b'; break;
        case 'f': plain += '\f'; break;
        case 'n': plain += '\n'; break;
        case 'r': plain += '\r'; break;
        case 't': plain += '\t'; break;
        case 'u': {
            Check(i + 4 < escaped.size() && escaped[i + 1] == '0' && escaped[i + 2] == '0');
            const int value = HexValue(escaped[i + 3]) * 16 + HexValue(escaped[i + 4]);
            Check(value < 0x20 && value != '\b' && value != '\t' && value != '\n' && value != '\f' && value != '\r');
            plain += static_cast<char>(value);
            i += 4;
            break;
        }
        default: Check(false);
        }
    }
    return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Appends after what the buffer already holds, and leaves that alone.
    SecureBytes out = {'<', '>'};
    AppendJsonEscaped(input, out);
    Check(out.size() == 2 + JsonEscapedLength(input) && out[0] == '<' && out[1] == '>');
    const std::string_view escaped(out.data() + 2, out.size() - 2);
    Check(Unescape(escaped) == input);

    if (IsValidUtf8(input)) {
        std::string quoted;
        quoted.reserve(escaped.size() + 2);
        quoted.append(1, '"').append(escaped).append(1, '"');
        const nlohmann::json parsed = nlohmann::json::parse(quoted, nullptr, false);
        Check(parsed.is_string() && parsed.get_ref<const std::string&>() == input);
    }
    return 0;
}
