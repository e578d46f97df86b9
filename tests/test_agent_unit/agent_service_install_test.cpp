// What the service is installed with, seen in the arguments of the service control manager's
// calls: Wine's manager drops the service SID type and the failure flag and cannot give back the
// recovery actions, so the calls are replaced here and nothing is installed. The whole life of
// the service under Wine's real manager is tests/e2e/agent_service_test.cpp.
#include "agent_file_writers.h"
#include "agent_service.h"
#include "agent_service_command_line.h"
#include "service_system_calls.h"
#include "base/local_memory.h"
#include "support/child_process.h"
#include "support/everyone_access.h"
#include "support/scoped_system_calls.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

struct Installed {
    std::wstring name;
    std::wstring commandLine;
    DWORD serviceType = 0;
    DWORD startType = 0;
    bool hasAccount = false;
    std::wstring account;
    DWORD sidType = 0;
    DWORD resetSeconds = 0;
    std::vector<SC_ACTION> actions;
    BOOL failureFlag = FALSE;
    std::wstring description;
    bool deleted = false;
    // The setting whose ChangeServiceConfig2W fails, and with what.
    DWORD failingLevel = 0;
    DWORD failingError = 0;
};

Installed g_installed;

SC_HANDLE WINAPI FakeOpenManager(LPCWSTR, LPCWSTR, DWORD) { return reinterpret_cast<SC_HANDLE>(1); }

SC_HANDLE WINAPI FakeCreateService(SC_HANDLE, LPCWSTR name, LPCWSTR, DWORD, DWORD serviceType, DWORD startType, DWORD,
                                   LPCWSTR commandLine, LPCWSTR, LPDWORD, LPCWSTR, LPCWSTR account, LPCWSTR) {
    g_installed.name = name;
    g_installed.commandLine = commandLine;
    g_installed.serviceType = serviceType;
    g_installed.startType = startType;
    g_installed.hasAccount = account != nullptr;
    g_installed.account = account != nullptr ? account : L"";
    return reinterpret_cast<SC_HANDLE>(2);
}

BOOL WINAPI FakeChangeConfig2(SC_HANDLE, DWORD level, LPVOID info) {
    if (level == g_installed.failingLevel) {
        SetLastError(g_installed.failingError);
        return FALSE;
    }
    if (level == SERVICE_CONFIG_SERVICE_SID_INFO) {
        g_installed.sidType = static_cast<SERVICE_SID_INFO*>(info)->dwServiceSidType;
    } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const auto* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
        g_installed.resetSeconds = failure->dwResetPeriod;
        g_installed.actions.assign(failure->lpsaActions, failure->lpsaActions + failure->cActions);
    } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
        g_installed.failureFlag = static_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures;
    } else if (level == SERVICE_CONFIG_DESCRIPTION) {
        g_installed.description = static_cast<SERVICE_DESCRIPTIONW*>(info)->lpDescription;
    }
    return TRUE;
}

BOOL WINAPI FakeDeleteService(SC_HANDLE) {
    g_installed.deleted = true;
    return TRUE;
}

BOOL WINAPI FakeCloseHandle(SC_HANDLE) { return TRUE; }

TEST(AgentServiceInstall, AutoStartOwnProcessWithAnUnrestrictedSidAndRestartOnFailure) {
    ScopedSystemCalls<ServiceSystemCalls> calls(g_serviceSystemCalls);
    calls->openSCManager = FakeOpenManager;
    calls->createService = FakeCreateService;
    calls->changeServiceConfig2 = FakeChangeConfig2;
    calls->deleteService = FakeDeleteService;
    calls->closeServiceHandle = FakeCloseHandle;
    const std::wstring commandLine = L"\"C:\\qm\\test-agent.exe\" service run --users \"C:\\qm\\users.json\"";

    struct Case {
        bool virtualAccount;
        DWORD failingLevel;
        DWORD failingError;
        HRESULT result;
        std::vector<std::wstring> skipped;
    } const cases[] = {
        {false, 0, 0, S_OK, {}},
        {true, 0, 0, S_OK, {}},
        // Wine's manager: the settings it does not know are named for the administrator.
        {false, SERVICE_CONFIG_SERVICE_SID_INFO, ERROR_INVALID_LEVEL, S_OK, {L"sc sidtype qm-agent unrestricted"}},
        // Any other refusal leaves no half-made service behind.
        {true, SERVICE_CONFIG_FAILURE_ACTIONS, ERROR_ACCESS_DENIED, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), {}},
    };
    for (const Case& c : cases) {
        g_installed = Installed{};
        g_installed.failingLevel = c.failingLevel;
        g_installed.failingError = c.failingError;
        std::vector<std::wstring> skipped;
        EXPECT_EQ(InstallAgentService(commandLine, c.virtualAccount, skipped), c.result);
        EXPECT_EQ(skipped, c.skipped);
        EXPECT_EQ(g_installed.deleted, FAILED(c.result));
        EXPECT_EQ(g_installed.name, L"qm-agent");
        EXPECT_EQ(g_installed.commandLine, commandLine);
        EXPECT_EQ(g_installed.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(g_installed.startType, static_cast<DWORD>(SERVICE_AUTO_START));
        // No account is LocalSystem.
        EXPECT_EQ(g_installed.hasAccount, c.virtualAccount);
        EXPECT_EQ(g_installed.account, c.virtualAccount ? L"NT SERVICE\\qm-agent" : L"");
        if (FAILED(c.result)) {
            continue;
        }
        EXPECT_EQ(g_installed.sidType, c.failingLevel == SERVICE_CONFIG_SERVICE_SID_INFO
                                           ? 0u
                                           : static_cast<DWORD>(SERVICE_SID_TYPE_UNRESTRICTED));
        EXPECT_EQ(g_installed.resetSeconds, 86400u);
        ASSERT_EQ(g_installed.actions.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(g_installed.actions[i].Type, SC_ACTION_RESTART);
            EXPECT_EQ(g_installed.actions[i].Delay, i < 2 ? 5000u : 60000u);
        }
        EXPECT_TRUE(g_installed.failureFlag);
        EXPECT_NE(g_installed.description.find(L"Not the production agent"), std::wstring::npos);
    }
}

TEST(AgentServiceInstall, TheServicesCommandLineGivesBackTheFilesAbsoluteAndWhole) {
    std::wstring commandLine;
    ASSERT_EQ(AgentServiceCommandLine(L"C:\\Program Files\\qm\\test-agent.exe", L"users.json",
                                      L"C:\\log dir\\agent.log", commandLine),
              S_OK);
    wchar_t current[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    std::wstring folder = current;
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    const std::vector<std::wstring> arguments(argv, argv + count);
    LocalFree(argv);
    EXPECT_EQ(arguments,
              (std::vector<std::wstring>{L"C:\\Program Files\\qm\\test-agent.exe", L"service", L"run", L"--users",
                                         folder + L"users.json", L"--log", L"C:\\log dir\\agent.log"}));
    // Backslashes before a quotation mark are doubled; elsewhere they stay as they are.
    EXPECT_EQ(QuotedArgument(L"C:\\odd\\"), L"\"C:\\odd\\\\\"");
    EXPECT_EQ(QuotedArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
}

// Install refuses a users file, log or executable that an untrusted account may change, or whose
// folder it may change, and names the path (a log folder: tests/e2e/agent_service_test.cpp).
// Real files first (Wine shows an Everyone entry for what others may write), then descriptors as
// only Windows writes them.
TEST(AgentServiceInstall, RefusesFilesThatAnUntrustedAccountMayChange) {
    const std::wstring root = CreateTestFolder(L"qm-install-paths");
    struct Case {
        const wchar_t* openToEveryone;  // below root; nullptr: nothing
        const wchar_t* unsafe;          // the path named; nullptr: none
    } const cases[] = {
        {nullptr, nullptr},
        {L"\\agent\\users.json", L"\\agent\\users.json"},
        {L"\\agent", L"\\agent"},
    };
    for (const Case& c : cases) {
        for (const wchar_t* folder : {L"\\agent", L"\\logs"}) {
            CreateDirectoryW((root + folder).c_str(), nullptr);
        }
        CloseHandle(CreateFileW((root + L"\\agent\\users.json").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (c.openToEveryone != nullptr) {
            ASSERT_TRUE(OpenToEveryone(root + c.openToEveryone));
        }
        UnsafeAgentPath unsafe;
        const bool found = FindUnsafeAgentPath(
            WithTheirFolders({root + L"\\agent\\users.json", root + L"\\logs\\agent.log"}), AgentFileWriters(), unsafe);
        EXPECT_EQ(found, c.unsafe != nullptr) << (c.openToEveryone ? "" : "nothing open");
        if (found && c.unsafe != nullptr) {
            EXPECT_EQ(unsafe.path, root + c.unsafe);
            ASSERT_EQ(unsafe.writers.size(), 1u);
            EXPECT_NE(unsafe.writers[0].find("S-1-1-0"), std::string::npos) << unsafe.writers[0];
        }
        RemoveTestFolder(root + L"\\agent");
        RemoveTestFolder(root + L"\\logs");
    }
    RemoveTestFolder(root);

    const std::wstring service = L"S-1-5-80-150321250-2041296840-1456520357-1891932008-333219552";
    const struct {
        std::wstring sddl;
        std::vector<std::string> writers;
    } descriptors[] = {
        // The users file as test-agent writes it, and the virtual account's own log.
        {L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;" + service + L")", {}},
        {L"O:" + service + L"D:P(A;;FA;;;SY)(A;;FA;;;" + service + L")", {}},
        // A folder under C:\ProgramData: every user may create files and folders in it.
        {L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)"
         L"(A;CIID;0x100116;;;BU)",
         {"S-1-5-32-545"}},
        // A file that another service may write.
        {L"O:BAD:P(A;;FA;;;SY)(A;;0x116;;;S-1-5-80-1-2-3-4-5)", {"S-1-5-80-1-2-3-4-5"}},
    };
    for (const auto& row : descriptors) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                         nullptr));
        const LocalMemory owned(descriptor);
        const std::vector<std::string> writers = UntrustedWritersOf(descriptor, AgentFileWriters());
        std::string all;
        for (const std::string& writer : writers) {
            all += writer + "; ";
        }
        EXPECT_EQ(writers.empty(), row.writers.empty()) << all;
        for (const std::string& expected : row.writers) {
            EXPECT_NE(all.find(expected), std::string::npos) << expected << " not named: " << all;
        }
    }
}

}  // namespace
