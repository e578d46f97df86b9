// The reply lookup against two oracles:
// - for any bytes (held in a block of exactly their size, so that the address sanitizer sees
//   any read past them), every lookup either extracts a value that occurs in the text or
//   reports none and leaves the output alone;
// - for a flat object generated from the input, with keys and values that hold no quotation
//   mark, comma or brace, every key yields exactly its generated value and an absent key none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "agent/json_find_field.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const char* const kReplyKeys[] = {"status", "reason", "username", "full_name", "source", "is_admin"};

void CheckLookup(std::string_view text, const char* key) {
    std::string value = "\x01untouched";
    if (JsonFindField(text, key, value)) {
        Check(value.size() <= text.size() && text.find(value) != std::string_view::npos);
    } else {
        Check(value == "\x01untouched");
    }
}

void LookUpInRawBytes(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> exact(new char[size == 0 ? 1 : size]);
    std::copy(data, data + size, exact.get());
    const std::string_view text(exact.get(), size);
    for (const char* key : kReplyKeys) {
        CheckLookup(text, key);
    }
    // A key made of the text's own leading bytes (up to a zero), so the needle is often found.
    const std::string ownKey(text.substr(0, std::min<std::size_t>(text.find('\0'), 12)));
    CheckLookup(text, ownKey.c_str());
}

// Bytes that may stand in a generated key: no quotation mark, comma, brace or zero, and no colon
// or '=' either: with a colon a key could match the text between a key and its value, and '='
// is what keeps values apart from keys (below).
bool AllowedInKey(char c) { return c != '"' && c != ',' && c != '{' && c != '}' && c != '\0' && c != ':' && c != '='; }

bool AllowedInValue(char c) { return c != '"' && c != ',' && c != '{' && c != '}'; }

std::string TakeString(FuzzedDataProvider& input, bool (*allowed)(char), std::size_t maxLength) {
    std::string raw = input.ConsumeRandomLengthString(maxLength);
    std::string kept;
    for (char c : raw) {
        if (allowed(c)) {
            kept += c;
        }
    }
    return kept;
}

std::string TakeBlanks(FuzzedDataProvider& input, const char* alphabet) {
    std::string blanks;
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 3);
    const std::size_t choices = std::string_view(alphabet).size();
    for (std::size_t i = 0; i < count; ++i) {
        blanks += alphabet[input.ConsumeIntegralInRange<std::size_t>(0, choices - 1)];
    }
    return blanks;
}

struct Pair {
    std::string key;
    std::string value;
};

void LookUpInGeneratedObject(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<Pair> pairs;
    std::string object = "{";
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < count; ++i) {
        Pair pair{TakeString(input, AllowedInKey, 16), TakeString(input, AllowedInValue, 24)};
        bool duplicate = false;
        for (const Pair& earlier : pairs) {
            duplicate = duplicate || earlier.key == pair.key;
        }
        if (duplicate) {
            continue;  // the lookup would find the first one, by design
        }
        const bool quoted = input.ConsumeBool();
        if (quoted) {
            pair.value += '=';  // so that no quoted value reads as a key
        } else {
            // A bare token starts at its first byte that is no space or tab and loses such bytes
            // at its end, and a quotation mark would make it quoted.
            while (!pair.value.empty() && (pair.value.front() == ' ' || pair.value.front() == '\t')) {
                pair.value.erase(0, 1);
            }
            while (!pair.value.empty() && (pair.value.back() == ' ' || pair.value.back() == '\t')) {
                pair.value.pop_back();
            }
        }
        if (!pairs.empty()) {
            object += ',' + TakeBlanks(input, " \t\n");
        }
        object += '"' + pair.key + '"' + TakeBlanks(input, " \t\r\n") + ':' + TakeBlanks(input, " \t");
        object += quoted ? '"' + pair.value + '"' : pair.value;
        object += TakeBlanks(input, " \t");
        pairs.push_back(pair);
    }
    object += '}';
    const std::string absentKey = TakeString(input, AllowedInKey, 8) + "~absent";

    const std::unique_ptr<char[]> exact(new char[object.size()]);
    std::copy(object.begin(), object.end(), exact.get());
    const std::string_view text(exact.get(), object.size());
    for (const Pair& pair : pairs) {
        std::string value = "\x01untouched";
        Check(JsonFindField(text, pair.key.c_str(), value) && value == pair.value);
    }
    bool absentIsUsed = false;
    for (const Pair& pair : pairs) {
        absentIsUsed = absentIsUsed || pair.key == absentKey;
    }
    if (!absentIsUsed) {
        std::string value = "\x01untouched";
        Check(!JsonFindField(text, absentKey.c_str(), value) && value == "\x01untouched");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LookUpInRawBytes(data, size);
    LookUpInGeneratedObject(data, size);
    return 0;
}
