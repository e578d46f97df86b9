// The request values' escaping, from UTF-16 to the bytes between a JSON string's quotes, and
// the bounded formatter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "agent/format_bounded_a.h"
#include "agent/json_escape_utf8.h"
#include "support/failing_new.h"

#include <strsafe.h>  // last: it deprecates names that other headers still declare

namespace {

std::string Escaped(PCWSTR value) {
    SecureBytes out;
    EXPECT_EQ(JsonEscapeUtf8(value, out), S_OK);
    return std::string(out.begin(), out.end());
}

}  // namespace

// The escape table itself is checked through the exact request bytes (agent_exchange_test) and
// by the escaping's fuzz target; here, what the request test cannot show.
TEST(JsonEscapeUtf8, GrowsPastAnyFirstReserveWhenEveryByteNeedsEscaping) {
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
