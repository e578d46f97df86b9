#include "request_log_line.h"

#include "display_escaping.h"

#include <cstdio>

namespace {

inline constexpr size_t kMaxLoggedUserBytes = 64;

std::string SanitizedUser(const std::string& name) {
    size_t length = name.size();
    const bool cut = length > kMaxLoggedUserBytes;
    if (cut) {
        length = kMaxLoggedUserBytes;
        // Step back to the start of a UTF-8 sequence so the cut leaves no broken character.
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::string safe = EscapedForDisplay(std::string_view(name.data(), length));
    if (cut) {
        safe += "...";
    }
    return safe;
}

}  // namespace

std::string FormatRequestLogLine(const SYSTEMTIME& utcTime, const std::wstring& caller, const std::string& user,
                                 const std::string& verdict, ULONGLONG milliseconds) {
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utcTime.wYear, utcTime.wMonth,
                  utcTime.wDay, utcTime.wHour, utcTime.wMinute, utcTime.wSecond, utcTime.wMilliseconds);
    return std::string(stamp) + " caller=\"" + EscapedPathForDisplay(caller) + "\" user=\"" + SanitizedUser(user) +
           "\" verdict=" + verdict + " " + std::to_string(milliseconds) + " ms";
}
