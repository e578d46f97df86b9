// The accounts the test agent knows, read once at start and then only read (by every pipe
// instance's thread at once, which needs no lock).
#pragma once

#include "user_record.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class UserStore {
public:
    // The record whose user name or email equals name, ignoring case the way Windows compares
    // account names (ordinal, case-insensitive); null when there is none. Constant time: an
    // index on the case-folded names is kept as records are added.
    const UserRecord* Find(std::string_view name) const;

    // Adds a validated record whose user name and email clash with no stored name or email.
    bool Add(UserRecord record, std::string& error);

    const std::vector<UserRecord>& Users() const noexcept { return m_users; }

    // The highest iteration count of any stored user (kDefaultHashIterations when there is
    // none): what every check of credentials costs, known name or not, so that the answer time
    // does not tell whether an account exists.
    ULONG MaxIterations() const noexcept { return m_maxIterations; }

private:
    std::vector<UserRecord> m_users;
    std::unordered_map<std::wstring, size_t> m_index;  // folded user name or email -> m_users
    ULONG m_maxIterations = kDefaultHashIterations;
};
