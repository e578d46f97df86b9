#include "agent/json_find_field.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kQuote = '"';

// Position of the first occurrence of the quoted key, or npos. Compares in place, so the
// lookup needs no needle string.
std::size_t FindQuotedKey(std::string_view text, std::string_view key) noexcept {
    const std::size_t needleLength = key.size() + 2;
    if (needleLength > text.size()) {
        return std::string_view::npos;
    }
    for (std::size_t at = text.find(kQuote); at != std::string_view::npos && at <= text.size() - needleLength;
         at = text.find(kQuote, at + 1)) {
        if (text.compare(at + 1, key.size(), key) == 0 && text[at + 1 + key.size()] == kQuote) {
            return at;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool JsonFindField(std::string_view text, const char* key, std::string& value) {
    const std::string_view keyText(key, std::strlen(key));
    const std::size_t keyAt = FindQuotedKey(text, keyText);
    if (keyAt == std::string_view::npos) {
        return false;
    }

    const std::size_t colon = text.find(':', keyAt + keyText.size() + 2);
    if (colon == std::string_view::npos) {
        return false;
    }

    const std::size_t start = text.find_first_not_of(" \t", colon + 1);
    if (start == std::string_view::npos) {
        return false;
    }

    if (text[start] == kQuote) {
        const std::size_t closing = text.find(kQuote, start + 1);
        if (closing == std::string_view::npos) {
            return false;
        }
        value.assign(text.data() + start + 1, closing - start - 1);
        return true;
    }

    std::size_t end = text.find_first_of(",}", start);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    value.assign(text.data() + start, end - start);
    return true;
}
