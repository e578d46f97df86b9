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
    EXPECT_EQ(FormatRequestLogLine(time, L"HOST\\alice", "demo", "OK", 132),
              "2024-05-01T09:30:12.045Z caller=\"HOST\\alice\" user=\"demo\" verdict=OK 132 ms");

    // A client cannot break the line, forge another one or close the quotes early.
    const std::string forged = FormatRequestLogLine(time, L"-", "x\"\nverdict=OK\\\x7F", "DENIED (unknown user)", 1);
    EXPECT_EQ(forged,
              "2024-05-01T09:30:12.045Z caller=\"-\" user=\"x\\x22\\x0Averdict=OK\\x5C\\x7F\" verdict=DENIED (unknown "
              "user) 1 ms");

    // Nor hide a line break, reorder the line or send a terminal sequence in a character beyond
    // ASCII: C1 controls, the separators, the bidirectional controls and bytes that are not UTF-8
    // are escaped; other text stays as it is.
    const std::string hidden = FormatRequestLogLine(time, L"-",
                                                    "a\xC2\x85"
                                                    "b\xE2\x80\xA8"
                                                    "c\xE2\x80\xAE"
                                                    "d\xE2\x81\xA6"
                                                    "e\xD8\x9C"
                                                    "f\xC3\xA9\xFF\x1B",
                                                    "OK", 2);
    EXPECT_EQ(hidden,
              "2024-05-01T09:30:12.045Z caller=\"-\" "
              "user=\"a\\u{85}b\\u{2028}c\\u{202E}d\\u{2066}e\\u{61C}f\xC3\xA9\\xFF\\x1B\" "
              "verdict=OK 2 ms");

    // Long names are cut at 64 bytes, never inside a UTF-8 sequence.
    const std::string longName = std::string(63, 'a') + "\xC3\xA9" + "tail";
    const std::string cut = FormatRequestLogLine(time, L"-", longName, "OK", 0);
    EXPECT_NE(cut.find(" user=\"" + std::string(63, 'a') + "...\""), std::string::npos) << cut;

    // The caller's account, which the system names, keeps its separator; a quote cannot end it.
    EXPECT_NE(FormatRequestLogLine(time, L"NT AUTHORITY\\SYSTEM\"x", "demo", "OK", 1)
                  .find("caller=\"NT AUTHORITY\\SYSTEM\\x22x\" user="),
              std::string::npos);
}

}  // namespace
