// The accounts the test agent knows, read once at start and then only read (by every pipe
// instance's thread at once, which needs no lock).
#pragma once

#include "user_record.h"

#include <string>
#include <string_view>
#include <vector>

class UserStore {
public:
    // The record whose user name or email equals name, ignoring case the way Windows compares
    // account names (ordinal, case-insensitive); null when there is none.
    const UserRecord* Find(std::string_view name) const;

    // Adds a validated record whose user name and email clash with no stored name or email.
    bool Add(UserRecord record, std::string& error);

    const std::vector<UserRecord>& Users() const noexcept { return m_users; }

private:
    std::vector<UserRecord> m_users;
};
