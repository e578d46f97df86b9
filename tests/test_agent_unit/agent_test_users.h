// A users store for the agent's tests: one administrator and one ordinary user, hashed with a
// few iterations so that the tests stay fast.
#pragma once

#include "user_store.h"

#include <string>

inline constexpr char kAlicePassword[] = "correct horse";
inline constexpr char kBobPassword[] = "b0b-\xC3\xA9t\xC3\xA9";

inline UserRecord TestUser(const std::string& name, const std::string& email, const std::string& fullName, bool isAdmin,
                           const std::string& password, ULONG iterations = 3) {
    UserRecord record;
    record.username = name;
    record.email = email;
    record.fullName = fullName;
    record.isAdmin = isAdmin;
    record.iterations = iterations;
    record.salt.assign(16, static_cast<BYTE>(name.size()));
    DerivePasswordHash(password.data(), password.size(), record.salt, record.iterations, record.hash);
    return record;
}

inline UserStore TestUsers() {
    UserStore store;
    std::string error;
    store.Add(TestUser("alice", "alice@example.test", "Alice Admin", true, kAlicePassword), error);
    store.Add(TestUser("bob", "", "Bob", false, kBobPassword), error);
    return store;
}
