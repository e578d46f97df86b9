// One account of the test agent's users file.
#pragma once

#include "password_hash.h"

#include <string>
#include <string_view>
#include <vector>

// The client takes reply values up to the next double quote without decoding escapes, and
// keeps at most this many UTF-16 units of a name.
inline constexpr size_t kMaxReplyNameUnits = 255;

struct UserRecord {
    std::string username;  // the account name sent back on approval
    std::string email;     // optional second name the user may sign in with
    std::string fullName;
    bool isAdmin = false;
    ULONG iterations = kDefaultHashIterations;
    std::vector<BYTE> salt;
    PasswordHash hash{};
};

// True when utf8 can travel in a reply unchanged and be read back whole by the client: valid
// UTF-8 of at most maxUnits UTF-16 units, without double quotes, backslashes or control
// characters.
bool IsReplySafeText(std::string_view utf8, size_t maxUnits);

// Checks a record before it is stored or served; on failure error says what is wrong.
bool ValidateUserRecord(const UserRecord& record, std::string& error);
