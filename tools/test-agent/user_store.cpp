#include "user_store.h"

#include "utf8_conversion.h"

#include <windows.h>

namespace {

bool NamesEqual(std::string_view left, std::string_view right) {
    if (left.empty() || right.empty()) {
        return false;
    }
    const std::wstring wideLeft = WideFromUtf8(left);
    const std::wstring wideRight = WideFromUtf8(right);
    return CompareStringOrdinal(wideLeft.c_str(), static_cast<int>(wideLeft.size()), wideRight.c_str(),
                                static_cast<int>(wideRight.size()), TRUE) == CSTR_EQUAL;
}

bool RecordAnswersTo(const UserRecord& record, std::string_view name) {
    return NamesEqual(record.username, name) || NamesEqual(record.email, name);
}

}  // namespace

const UserRecord* UserStore::Find(std::string_view name) const {
    for (const UserRecord& record : m_users) {
        if (RecordAnswersTo(record, name)) {
            return &record;
        }
    }
    return nullptr;
}

bool UserStore::Add(UserRecord record, std::string& error) {
    if (!ValidateUserRecord(record, error)) {
        return false;
    }
    if (Find(record.username) != nullptr || (!record.email.empty() && Find(record.email) != nullptr)) {
        error = "a user with that name or email already exists";
        return false;
    }
    m_users.push_back(std::move(record));
    return true;
}
