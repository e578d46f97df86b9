#include "user_record.h"

#include <windows.h>

#include <climits>

static_assert(kMaxHashIterations == 10000000, "the error names the range");

bool IsReplySafeText(std::string_view utf8, size_t maxUnits) {
    for (const char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            return false;
        }
    }
    if (utf8.empty()) {
        return true;
    }
    if (utf8.size() > INT_MAX) {
        return false;
    }
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    return units > 0 && static_cast<size_t>(units) <= maxUnits;
}

bool ValidateUserRecord(const UserRecord& record, std::string& error) {
    if (record.username.empty() || !IsReplySafeText(record.username, kMaxReplyNameUnits)) {
        error = "user name must be 1 to 255 characters without quotes, backslashes or control characters";
        return false;
    }
    if (!IsReplySafeText(record.email, kMaxReplyNameUnits)) {
        error = "email must be at most 255 characters without quotes, backslashes or control characters";
        return false;
    }
    if (!IsReplySafeText(record.fullName, kMaxReplyNameUnits)) {
        error = "full name must be at most 255 characters without quotes, backslashes or control characters";
        return false;
    }
    if (record.iterations < kMinHashIterations || record.iterations > kMaxHashIterations) {
        error = "iterations must be a whole number from 1 to 10000000";
        return false;
    }
    if (record.salt.size() < 8) {
        error = "salt must be at least 8 bytes";
        return false;
    }
    return true;
}
