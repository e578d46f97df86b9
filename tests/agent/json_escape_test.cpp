// The request values' escaping, from UTF-16 to the bytes between a JSON string's quotes, and
// the bounded formatter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "agent/format_bounded_a.h"
#include "agent/json_escape_bytes.h"
#include "agent/json_escape_utf8.h"
#include "failing_new.h"

#include <strsafe.h>  // last: it deprecates names that other headers still declare

namespace {

std::string Escaped(PCWSTR value) {
    SecureBytes out;
    EXPECT_EQ(JsonEscapeUtf8(value, out), S_OK);
    return std::string(out.begin(), out.end());
}

}  // namespace

TEST(JsonEscapeUtf8, EscapesWhatWouldEndTheStringOrIsNotAllowedRaw) {
    const std::vector<std::pair<std::wstring, std::string>> cases = {
        {L"", ""},
        {L"Alice99", "Alice99"},
        {L"a\"b\\c", "a\\\"b\\\\c"},
        {L"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {L"\x01\x0b\x1f", "\\u0001\\u000b\\u001f"},
        {L"/\x7f ~", "/\x7f ~"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {L"\xD800x\xDFFF", "\xEF\xBF\xBDx\xEF\xBF\xBD"},  // lone surrogates become U+FFFD
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Escaped(c.first.c_str()), c.second);
    }

    // Far more added bytes than any small reserve would cover.
    std::wstring controlsAndQuotes;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        controlsAndQuotes += L"\x02\"";
        expected += "\\u0002\\\"";
    }
    EXPECT_EQ(Escaped(controlsAndQuotes.c_str()), expected);
}

TEST(JsonEscapeUtf8, ReplacesWhatTheOutputHeldOnlyOnSuccess) {
    SecureBytes out = {'o', 'l', 'd'};
    EXPECT_EQ(JsonEscapeUtf8(L"new", out), S_OK);
    EXPECT_EQ(std::string(out.begin(), out.end()), "new");

    EXPECT_EQ(JsonEscapeUtf8(L"", out), S_OK);
    EXPECT_TRUE(out.empty());

    out = {'o', 'l', 'd'};
    {
        AllocationBudget none(0);
        EXPECT_EQ(JsonEscapeUtf8(L"a value that needs room", out), E_OUTOFMEMORY);
    }
    EXPECT_EQ(std::string(out.begin(), out.end()), "old");
}

TEST(JsonEscapeUtf8, AppendsTheExactLengthItAnnounces) {
    SecureBytes out = {'>'};
    const std::string text = "q\"\\\x01\n\x7f\xC3\xA9z";
    AppendJsonEscaped(text, out);
    EXPECT_EQ(out.size(), 1 + JsonEscapedLength(text));
    EXPECT_EQ(std::string(out.begin(), out.end()), ">q\\\"\\\\\\u0001\\n\x7f\xC3\xA9z");
}

TEST(FormatBoundedA, KeepsToItsCapacity) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBoundedA(buffer, 0, "x"), E_INVALIDARG);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(FormatBoundedA(buffer, 0x80000000u, "x"), E_INVALIDARG);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    EXPECT_EQ(FormatBoundedA(buffer, 1, "%s", ""), S_OK);
    EXPECT_EQ(buffer[0], '\0');
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatBoundedA(buffer, 1, "x"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    EXPECT_EQ(FormatBoundedA(buffer, 8, "\\u%04x", 0x0b), S_OK);
    EXPECT_STREQ(buffer, "\\u000b");
    EXPECT_EQ(FormatBoundedA(buffer, 8, "%s", "1234567"), S_OK);  // exactly size - 1 bytes
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(FormatBoundedA(buffer, 8, "%d", 12345678), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(FormatBoundedA(buffer, 0x7FFFFFFFu, "%s", "ok"), S_OK);  // the largest size allowed
    EXPECT_STREQ(buffer, "ok");
}
