// What the service is installed with, seen in the arguments of the service control manager's
// calls: Wine's manager drops the service SID type and the failure flag and cannot give back the
// recovery actions, so the calls are replaced here and nothing is installed. The whole life of
// the service under Wine's real manager is tests/e2e/agent_service_test.cpp.
#include "agent_service.h"
#include "agent_service_command_line.h"
#include "service_system_calls.h"
#include "support/scoped_system_calls.h"

#include <gtest/gtest.h>

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

}  // namespace
