#include "user_store_file.h"

#include "agent_file_writers.h"
#include "agent_test_users.h"
#include "base/local_memory.h"
#include "support/child_process.h"
#include "support/everyone_access.h"
#include "users_file_security.h"

#include <gtest/gtest.h>

#include <aclapi.h>

namespace {

TEST(UserStoreFile, SavedStoreLoadsBackTheSameAccounts) {
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    const std::wstring path =
        std::wstring(directory) + L"qm-users-" + std::to_wstring(GetCurrentProcessId()) + L".json";
    ASSERT_EQ(SaveUserStore(path.c_str(), TestUsers()), S_OK);

    UserStore loaded;
    std::string error;
    ASSERT_EQ(LoadUserStore(path.c_str(), loaded, error), S_OK) << error;
    DeleteFileW(path.c_str());
    ASSERT_EQ(loaded.Users().size(), 2u);
    const UserRecord* alice = loaded.Find("alice@example.test");
    ASSERT_NE(alice, nullptr);
    const UserRecord expected = TestUsers().Users().front();
    EXPECT_EQ(alice->username, "alice");
    EXPECT_EQ(alice->fullName, "Alice Admin");
    EXPECT_TRUE(alice->isAdmin);
    EXPECT_EQ(alice->iterations, 3u);
    EXPECT_EQ(alice->salt, expected.salt);
    EXPECT_TRUE(PasswordHashesEqual(alice->hash, expected.hash));
    EXPECT_EQ(loaded.Find("bob")->email, "");

    EXPECT_EQ(LoadUserStore(path.c_str(), loaded, error), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(UserStoreFile, RefusesFilesItCannotServeSafely) {
    const std::string valid = SerializeUserStore(TestUsers());
    const std::string hash = std::string(64, 'a');
    auto file = [&](const std::string& user) {
        return R"({"users":[)" + user + "]}";
    };
    auto user = [&](const std::string& name, const std::string& hashing) {
        return R"({"username":")" + name + R"(","pbkdf2_sha256":)" + hashing + "}";
    };
    const std::string good = R"({"iterations":5,"salt":"00112233445566778899","hash":")" + hash + R"("})";
    const std::string broken[] = {
        "",
        "{",
        R"({"people":[]})",
        file(user("carol", R"({"iterations":0,"salt":"0011223344556677","hash":")" + hash + R"("})")),
        file(user("carol", R"({"iterations":5,"salt":"00zz","hash":")" + hash + R"("})")),
        file(user("carol", R"({"iterations":5,"salt":"0011","hash":")" + hash + R"("})")),
        file(user("carol", R"({"iterations":5,"salt":"0011223344556677","hash":"abcd"})")),
        file(user("carol", R"({"iterations":"many","salt":"0011223344556677","hash":")" + hash + R"("})")),
        file(user("", good)),
        file(user("car\\\"ol", good)),
        file(user("carol", good) + "," + user("CAROL", good)),
        file(R"({"pbkdf2_sha256":)" + good + "}"),
        // A key given twice in one object is refused, wherever it is: nothing is last-wins.
        R"({"users":[],"users":[]})",
        file(user("carol", good)) + R"(,"users":[])",
        file(R"({"username":"carol","username":"dave","pbkdf2_sha256":)" + good + "}"),
        file(user("carol", R"({"iterations":5,"iterations":6,"salt":"0011223344556677","hash":")" + hash + R"("})")),
    };
    for (const std::string& text : broken) {
        UserStore store;
        std::string error;
        EXPECT_FALSE(ParseUserStore(text, store, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_TRUE(store.Users().empty()) << text;
    }
    UserStore store;
    std::string error;
    EXPECT_TRUE(ParseUserStore(valid, store, error)) << error;
    EXPECT_TRUE(ParseUserStore(file(user("carol", good)), store, error)) << error;
    // The same key in two different objects is no duplicate.
    EXPECT_TRUE(ParseUserStore(file(user("carol", good) + "," + user("dave", good)), store, error)) << error;
    EXPECT_FALSE(ParseUserStore(R"({"users":[],"users":[]})", store, error));
    EXPECT_EQ(error, "the key \"users\" is given twice in one object");
    EXPECT_EQ(valid.find("correct horse"), std::string::npos);

    // An iteration count is an unsigned integer in range, never converted from another type;
    // the error names the user.
    for (const char* iterations : {"true", "1.9", "1e300", "-1", "0", "10000001", "5.0", "\"5\""}) {
        const std::string text = file(user("good", good) + "," +
                                      user("dave", std::string(R"({"iterations":)") + iterations +
                                                       R"(,"salt":"0011223344556677","hash":")" + hash + R"("})"));
        EXPECT_FALSE(ParseUserStore(text, store, error)) << iterations;
        EXPECT_EQ(error.rfind("user \"dave\": ", 0), 0u) << iterations << ": " << error;
    }
    EXPECT_EQ(error, "user \"dave\": iterations must be a whole number from 1 to 10000000");
}

TEST(UserStoreFile, IndexesNamesIgnoringCaseAndKnowsTheCostliestUser) {
    const std::string hash = std::string(64, 'b');
    auto user = [&](const std::string& name, const std::string& email, int iterations) {
        return R"({"username":")" + name + R"(","email":")" + email + R"(","pbkdf2_sha256":{"iterations":)" +
               std::to_string(iterations) + R"(,"salt":"0011223344556677","hash":")" + hash + R"("}})";
    };
    UserStore store;
    std::string error;
    ASSERT_TRUE(ParseUserStore(R"({"users":[)" + user("\u00e9mile", "e@x.test", 7) + "," + user("zo\u00eb", "", 900) +
                                   "," + user("ann", "", 12) + "]}",
                               store, error))
        << error;
    EXPECT_EQ(store.MaxIterations(), 900u);
    ASSERT_NE(store.Find("\xC3\x89MILE"), nullptr);  // "ÉMILE"
    EXPECT_EQ(store.Find("E@X.TEST"), store.Find("\xC3\xA9mile"));
    EXPECT_EQ(store.Find("ZO\xC3\x8B")->iterations, 900u);
    EXPECT_EQ(store.Find("emile"), nullptr);
    EXPECT_EQ(store.Find(""), nullptr);
    EXPECT_EQ(UserStore().MaxIterations(), kDefaultHashIterations);

    EXPECT_FALSE(
        ParseUserStore(R"({"users":[)" + user("ann", "", 5) + "," + user("bob", "ANN", 5) + "]}", store, error));
    EXPECT_EQ(error, "user \"bob\": a user with that name or email already exists");
}

void Plant(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(OpenToEveryone(path));
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(found.cFileName);
        }
    }
    FindClose(search);
    return names;
}

// Files planted in the users file's folder beforehand, at the name the replacement once used and
// open to everyone, never become the users file: the new file is made at a name no one knew, only
// where nothing stood, and with its own protected DACL.
TEST(UserStoreFile, APlantedFileNeverBecomesTheUsersFile) {
    const std::wstring folder = CreateTestFolder(L"qm-users-planted");
    const std::wstring path = folder + L"\\users.json";
    UserStore mallory;
    std::string error;
    ASSERT_TRUE(mallory.Add(TestUser("mallory", "", "", true, "pw"), error));
    const std::string planted = SerializeUserStore(mallory);
    Plant(path + L".tmp", planted);
    Plant(path, planted);

    ASSERT_EQ(SaveUserStore(path.c_str(), TestUsers()), S_OK);
    UserStore loaded;
    ASSERT_EQ(LoadUserStore(path.c_str(), loaded, error), S_OK) << error;
    EXPECT_EQ(loaded.Find("mallory"), nullptr);
    EXPECT_NE(loaded.Find("alice"), nullptr);
    EXPECT_EQ(ReadFileText(path + L".tmp"), planted) << "the planted file was written through";
    EXPECT_EQ(FilesIn(folder), (std::vector<std::wstring>{L"users.json", L"users.json.tmp"}))
        << "a temporary file was left behind";
    // No one but the trusted accounts may change the new file, and everyone else may not even
    // read its hashes: it has no entry for Everyone, neither the planted file's nor what a file
    // made without the descriptor gets under Wine (read access for others).
    std::vector<std::string> writers;
    EXPECT_EQ(AddUntrustedWritersOf(path, AgentFileWriters(), writers), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(writers.empty()) << writers.front();
    PSECURITY_DESCRIPTOR raw = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                    nullptr, &raw),
              static_cast<DWORD>(ERROR_SUCCESS));
    const LocalMemory descriptor(raw);
    ASSERT_NE(dacl, nullptr);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&entry)));
        EXPECT_FALSE(IsWellKnownSid(&entry->SidStart, WinWorldSid)) << "entry " << i;
    }
    RemoveTestFolder(folder);
}

// What the file is created with, for each account the agent may run as (Wine keeps only what mode
// bits can say, so the descriptor itself is read).
TEST(UsersFileSecurity, ProtectedFullAccessForSystemAndAdministratorsReadForTheService) {
    const std::wstring service = L"S-1-5-80-150321250-2041296840-1456520357-1891932008-333219552";
    const std::wstring trusted = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    EXPECT_EQ(UsersFileSddlFor(L"S-1-5-18"), trusted + L"(A;;FR;;;" + service + L")");
    EXPECT_EQ(UsersFileSddlFor(service), trusted + L"(A;;FA;;;" + service + L")");

    UsersFileSecurity security;
    ASSERT_EQ(security.Create(), S_OK);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.Attributes()->lpSecurityDescriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    EXPECT_FALSE(security.Attributes()->bInheritHandle);
}

}  // namespace
