#include "request_log_line.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestLogLine, OneLineWithTimeUserVerdictAndDuration) {
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 5;
    time.wDay = 1;
    time.wHour = 9;
    time.wMinute = 30;
    time.wSecond = 12;
    time.wMilliseconds = 45;
    EXPECT_EQ(FormatRequestLogLine(time, "demo", "OK", 132), "2024-05-01T09:30:12.045Z user=\"demo\" verdict=OK 132 ms");

    // A client cannot break the line, forge another one or close the quotes early.
    const std::string forged = FormatRequestLogLine(time, "x\"\nverdict=OK\\\x7F", "DENIED (unknown user)", 1);
    EXPECT_EQ(forged, "2024-05-01T09:30:12.045Z user=\"x\\x22\\x0Averdict=OK\\x5C\\x7F\" verdict=DENIED (unknown user) 1 ms");

    // Long names are cut at 64 bytes, never inside a UTF-8 sequence.
    const std::string longName = std::string(63, 'a') + "\xC3\xA9" + "tail";
    const std::string cut = FormatRequestLogLine(time, longName, "OK", 0);
    EXPECT_NE(cut.find("user=\"" + std::string(63, 'a') + "...\""), std::string::npos) << cut;
}

}  // namespace
