#include "user_store.h"

#include "utf8_conversion.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace {

// The form two names share when CompareStringOrdinal(..., TRUE) calls them equal: each UTF-16
// unit upper-cased through the system's invariant table. Empty for an empty name.
std::wstring FoldedName(std::string_view name) {
    const std::wstring wide = WideFromUtf8(name);
    if (wide.empty() || wide.size() > INT_MAX) {
        return {};
    }
    std::wstring folded(wide.size(), L'\0');
    const int units = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                                    folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0);
    folded.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return folded;
}

}  // namespace

const UserRecord* UserStore::Find(std::string_view name) const {
    const std::wstring folded = FoldedName(name);
    if (folded.empty()) {
        return nullptr;
    }
    const auto found = m_index.find(folded);
    return found != m_index.end() ? &m_users[found->second] : nullptr;
}

bool UserStore::Add(UserRecord record, std::string& error) {
    if (!ValidateUserRecord(record, error)) {
        return false;
    }
    const std::wstring name = FoldedName(record.username);
    const std::wstring email = FoldedName(record.email);
    if (m_index.count(name) != 0 || (!email.empty() && m_index.count(email) != 0)) {
        error = "a user with that name or email already exists";
        return false;
    }
    const ULONG iterations = record.iterations;
    m_users.push_back(std::move(record));
    m_maxIterations = m_users.size() == 1 ? iterations : std::max(m_maxIterations, iterations);
    m_index.emplace(name, m_users.size() - 1);
    if (!email.empty()) {
        m_index.emplace(email, m_users.size() - 1);
    }
    return true;
}
