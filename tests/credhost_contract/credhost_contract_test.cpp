// credhost.exe against a provider written for the sign-in screen of Windows 8 and later
// (support/host_contract_provider), run as processes the way a developer runs them. What a
// user would notice: a provider that builds its tiles from the user array shows and signs in,
// the second event interface and field options are answered, a classic provider with one tile
// per user signs in by --tile or by --user, a scenario a provider takes no part in is said as
// such, and a provider's crash ends credhost with exit 3 and a line that names the call.
#include "support/child_process.h"
#include "support/host_contract_provider/host_contract_provider.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 60000;

std::string RunningUserName() {
    char name[257] = {};
    DWORD size = ARRAYSIZE(name);
    return GetUserNameA(name, &size) ? name : "";
}

ProcessResult RunCredhost(const std::string& mode, const std::wstring& arguments, const std::wstring& provider) {
    SetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, std::wstring(mode.begin(), mode.end()).c_str());
    return RunProcess(Quoted(WindowsPathOf(QM_CREDHOST)) + L" " + arguments + L" " + provider, "typed-Pw 7\n",
                      kRunTimeoutMs);
}

std::wstring ProviderFile() {
    return Quoted(WindowsPathOf(QM_HOST_CONTRACT_PROVIDER_DLL)) + L" --clsid " QM_HOST_CONTRACT_PROVIDER_CLSID;
}

TEST(CredhostContract, EachModeShowsSignsInOrFailsAsTheSignInScreenWould) {
    const std::string user = RunningUserName();
    ASSERT_FALSE(user.empty());
    const std::wstring wideUser(user.begin(), user.end());
    struct Case {
        std::string mode;
        std::wstring arguments;
        DWORD exitCode;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"user-array", L"show", 0,
         {"User array: 1 local account (\"" + user + "\"), SetUserArray returned 0x00000000 (S_OK)",
          "1 tile, no default tile", "user (GetUserSid): \"S-1-5-", "\"Password\"", "[password reveal]"}},
        {"user-array", L"show --user-array \"\"", 0, {"User array: 0 local accounts, SetUserArray returned", "0 tiles"}},
        {"user-array", L"show --user-array nobody-here," + wideUser, 0, {"User array: 1 local account", "1 tile"}},
        {"user-array", L"signin --user " + wideUser, 0,
         {"Tile 0, picked by its user's SID (GetUserSid)", "user name     \"" + user + "\"",
          "password      10 characters, not shown"}},
        {"events2", L"show", 0, {"User array: not taken", "[e-mail address]", "[password reveal]"}},
        {"events2", L"signin --user ada@example.org --json", 0,
         {"\"outcome\":\"signed_in\"", "\"tile_events\":4", "\"text\":\"ada@example.org\""}},
        {"tile-per-user", L"signin --tile 1", 0,
         {"Sign-in as \"bob\" (the tile's own user)", "Tile 1, picked by --tile", "user name     \"bob\""}},
        {"tile-per-user", L"signin --user ALICE", 0,
         {"Tile 0, picked by the user name it shows", "user name     \"alice\""}},
        {"tile-per-user", L"signin --user carol", 3,
         {"Provider failure: no tile shows the user (GetUserSid or its user name)", "the provider has 2 tiles"}},
        {"tile-per-user", L"signin --tile 2", 3, {"--tile (no such tile)"}},
        {"tile-per-user", L"show --scenario credui", 0,
         {"The provider takes no part in this scenario (SetUsageScenario returned E_NOTIMPL): no tiles"}},
        {"tile-per-user", L"signin --user alice --scenario credui", 3,
         {"Provider failure: SetUsageScenario: the provider takes no part in this scenario (0x80004001 (E_NOTIMPL))"}},
        {"crash", L"show", 3,
         {"credhost: provider crash in GetCredentialAt: exception 0xC0000005 (access violation reading "
          "0x0000000000000000) at ",
          "host_contract_provider.dll+0x"}},
        {"crash", L"signin --user u --json", 3,
         {"{\"exception\":\"0xC0000005\"", "\"failed_step\":\"GetCredentialAt\"", "\"outcome\":\"provider_crash\""}},
        {"stub-crash", L"signin --user u", 3,
         {"provider crash in GetCredentialAt: exception 0x80000100 (unimplemented function authui.CreateUserArray "
          "(Wine stub))"}},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunCredhost(c.mode, c.arguments, ProviderFile());
        const std::string name = c.mode + " " + std::string(c.arguments.begin(), c.arguments.end());
        ASSERT_TRUE(result.started) << name;
        EXPECT_FALSE(result.timedOut) << name;
        EXPECT_EQ(result.exitCode, c.exitCode) << name << "\n" << result.output;
        for (const std::string& says : c.says) {
            EXPECT_NE(result.output.find(says), std::string::npos) << name << ": no " << says << "\n" << result.output;
        }
    }
    SetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, nullptr);
}

// A class registered by a bare file name, as hand-written .reg files register it, is loaded from
// where the sign-in screen's loader finds it (the system folder first), whatever folder credhost
// runs in; one found nowhere fails to load from the system folder.
TEST(CredhostContract, ABareRegisteredDllNameIsFoundAsTheLoaderWould) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring copy = std::wstring(system) + L"\\qm-bare-contract.dll";
    ASSERT_TRUE(CopyFileW(WindowsPathOf(QM_HOST_CONTRACT_PROVIDER_DLL).c_str(), copy.c_str(), FALSE));
    const std::wstring key = L"CLSID\\" QM_HOST_CONTRACT_PROVIDER_CLSID;
    const auto registerAs = [&](const std::wstring& name) {
        return RegSetKeyValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(), nullptr, REG_SZ, name.c_str(),
                               static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    };
    ASSERT_EQ(registerAs(L"qm-bare-contract.dll"), ERROR_SUCCESS);
    const ProcessResult found = RunCredhost("user-array", L"show", QM_HOST_CONTRACT_PROVIDER_CLSID);
    ASSERT_EQ(registerAs(L"qm-nowhere-contract.dll"), ERROR_SUCCESS);
    const ProcessResult nowhere = RunCredhost("user-array", L"show", QM_HOST_CONTRACT_PROVIDER_CLSID);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    DeleteFileW(copy.c_str());
    SetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, nullptr);

    EXPECT_EQ(found.exitCode, 0u) << found.output;
    EXPECT_NE(found.output.find("from C:\\windows\\system32\\qm-bare-contract.dll (InprocServer32 names "
                                "qm-bare-contract.dll, found as the sign-in screen's loader would)"),
              std::string::npos)
        << found.output;
    EXPECT_NE(found.output.find("1 tile"), std::string::npos) << found.output;
    EXPECT_EQ(nowhere.exitCode, 3u) << nowhere.output;
    EXPECT_NE(nowhere.output.find("C:\\windows\\system32\\qm-nowhere-contract.dll"), std::string::npos)
        << nowhere.output;
    EXPECT_NE(nowhere.output.find("LoadLibraryEx failed"), std::string::npos) << nowhere.output;
}

}  // namespace
