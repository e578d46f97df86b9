// test-agent.exe as the Windows service qm-agent under Wine's service control manager, the way a
// deployment runs the agent: installed, started, signed in through by credhost.exe, stopped with
// a client still connected, and removed without a trace. Also the sc commands of
// docs/agent-guide.md, run as written there. What Wine's manager cannot show (the service SID
// type, the recovery actions, the accounts' tokens) is checked in tests/test_agent_unit.
#include <gtest/gtest.h>

#include "agent_pipe_name.h"
#include "base/unique_handle.h"
#include "provider_class_id.h"
#include "support/agent_service_handle.h"
#include "support/child_process.h"
#include "support/everyone_access.h"
#include "support/provider_registration_reader.h"
#include "support/test_agent_process.h"
#include "support/wait_for.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kPassword[] = "service-Pass 7";
constexpr DWORD kRunTimeoutMs = 60000;
// The agent drops a client that sends nothing for 10 s; a stop must not wait for that.
constexpr DWORD kPromptStopMs = 5000;

// The service as the service control manager holds it.
struct InstalledService {
    bool exists = false;
    std::wstring commandLine;
    std::wstring account;
    DWORD serviceType = 0;
    DWORD startType = 0;
    std::wstring description;
    SERVICE_STATUS_PROCESS status{};
};

InstalledService ReadInstalledService() {
    InstalledService installed;
    const ScmHandle service = OpenAgentService(SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (!service) {
        return installed;
    }
    installed.exists = true;
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    if (QueryServiceConfigW(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                            static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        installed.commandLine = config->lpBinaryPathName;
        installed.account = config->lpServiceStartName ? config->lpServiceStartName : L"";
        installed.serviceType = config->dwServiceType;
        installed.startType = config->dwStartType;
    }
    if (QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
        installed.description = description->lpDescription ? description->lpDescription : L"";
    }
    QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&installed.status),
                         sizeof(installed.status), &needed);
    return installed;
}

// Waits up to 30 s for the service to reach state.
bool ReachesState(DWORD state) {
    return WaitFor([&] { return ReadInstalledService().status.dwCurrentState == state; }, 30000);
}

bool PipeNameIsFree() { return !WaitNamedPipeW(kAgentPipeName, 1) && GetLastError() == ERROR_FILE_NOT_FOUND; }

class AgentService : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_directory = CreateTestFolder(L"qm-e2e-service");
        const ProcessResult added =
            TestAgentProcess(Agent(), s_directory).AddUser(L"--user demo --iterations 2000", kPassword);
        ASSERT_EQ(added.exitCode, 0u) << added.output;
        // A run that died half-way may have left the service installed.
        RunAgent(L"service uninstall");
    }

    static void TearDownTestSuite() {
        RunAgent(L"service uninstall");
        RemoveTestFolder(s_directory);
    }

    static std::wstring Agent() { return WindowsPathOf(QM_E2E_TEST_AGENT); }
    static std::wstring UsersPath() { return TestAgentProcess(Agent(), s_directory).UsersPath(); }
    static std::wstring LogPath() { return s_directory + L"\\service.log"; }
    static ProcessResult RunAgent(const std::wstring& arguments) {
        return RunProcess(Quoted(Agent()) + L" " + arguments, "", kRunTimeoutMs);
    }
    // The command line the service is installed with.
    static std::wstring ServiceCommandLine() {
        return Quoted(Agent()) + L" service run --users " + Quoted(UsersPath()) + L" --log " + Quoted(LogPath());
    }
    static ProcessResult SignIn(const std::string& password) {
        return RunProcess(Quoted(WindowsPathOf(QM_E2E_CREDHOST)) + L" signin " + Quoted(WindowsPathOf(QM_E2E_DLL)) +
                              L" --clsid " + kProviderClsidText + L" --user demo",
                          password + "\n", kRunTimeoutMs);
    }

    static std::wstring s_directory;
};

std::wstring AgentService::s_directory;

TEST_F(AgentService, InstalledStartedSignedInThroughStoppedAtOnceAndRemovedWithoutATrace) {
    for (const bool virtualAccount : {false, true}) {
        SCOPED_TRACE(virtualAccount ? "NT SERVICE\\qm-agent" : "LocalSystem");
        DeleteFileW(LogPath().c_str());
        const ProcessResult installed = RunAgent(L"service install --users " + Quoted(UsersPath()) + L" --log " +
                                                 Quoted(LogPath()) + (virtualAccount ? L" --virtual-account" : L""));
        ASSERT_EQ(installed.exitCode, 0u) << installed.output;
        InstalledService service = ReadInstalledService();
        ASSERT_TRUE(service.exists);
        EXPECT_EQ(service.commandLine, ServiceCommandLine());
        EXPECT_EQ(service.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(service.startType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(service.account, virtualAccount ? L"NT SERVICE\\qm-agent" : L"LocalSystem");
        EXPECT_NE(service.description.find(L"Not the production agent"), std::wstring::npos);
        EXPECT_EQ(RunAgent(L"service install --users " + Quoted(UsersPath())).exitCode, 1u) << "installed twice";

        const ProcessResult started = RunAgent(L"service start");
        ASSERT_EQ(started.exitCode, 0u) << started.output;
        service = ReadInstalledService();
        ASSERT_EQ(service.status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        const KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, service.status.dwProcessId));
        ASSERT_TRUE(process);

        const ProcessResult signedIn = SignIn(kPassword);
        EXPECT_EQ(signedIn.exitCode, 0u) << signedIn.output;
        EXPECT_NE(signedIn.output.find("user name     \"demo\""), std::string::npos) << signedIn.output;
        EXPECT_EQ(SignIn("wrong").exitCode, 1u);

        // A client holds an instance without sending anything: the stop ends it at once.
        KernelHandle client(
            CreateFileW(kAgentPipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(client);
        const ProcessResult stopped = RunAgent(L"service stop");
        EXPECT_EQ(stopped.exitCode, 0u) << stopped.output;
        EXPECT_LT(stopped.milliseconds, kPromptStopMs);
        char reply[16];
        DWORD read = 0;
        EXPECT_FALSE(ReadFile(client.Get(), reply, sizeof(reply), &read, nullptr));
        client.Close();
        EXPECT_EQ(WaitForSingleObject(process.Get(), kPromptStopMs), WAIT_OBJECT_0)
            << "the service's process still runs";
        EXPECT_TRUE(PipeNameIsFree());

        const std::string log = ReadFileText(LogPath());
        EXPECT_NE(log.find("test-agent: serving"), std::string::npos) << log;
        EXPECT_NE(log.find("user=\"demo\" verdict=OK"), std::string::npos) << log;
        EXPECT_NE(log.find("user=\"demo\" verdict=DENIED (wrong password)"), std::string::npos) << log;
        EXPECT_NE(log.find("test-agent: stopped"), std::string::npos) << log;
        EXPECT_EQ(log.find(kPassword), std::string::npos) << "the service logged the password";

        const ProcessResult removed = RunAgent(L"service uninstall");
        EXPECT_EQ(removed.exitCode, 0u) << removed.output;
        EXPECT_FALSE(ReadInstalledService().exists);
        EXPECT_EQ(RegistryKeyShape(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\qm-agent"),
                  std::make_pair(-1, -1));
    }
}

// The block of docs/agent-guide.md that holds "sc create qm-agent", one command a line.
std::vector<std::string> GuideServiceCommands() {
    std::istringstream guide(ReadFileText(WindowsPathOf(QM_E2E_AGENT_GUIDE)));
    std::vector<std::string> block;
    bool inBlock = false;
    for (std::string line; std::getline(guide, line);) {
        if (line.rfind("```", 0) == 0) {
            if (inBlock && !block.empty() && block.front().rfind("sc create qm-agent", 0) == 0) {
                return block;
            }
            inBlock = !inBlock;
            block.clear();
            continue;
        }
        if (inBlock && !line.empty() && line.rfind("rem ", 0) != 0) {
            block.push_back(line);
        }
    }
    return {};
}

// A log folder that everyone may change: install names the account and the folder, and installs
// nothing.
TEST_F(AgentService, InstallRefusesAFolderThatAnotherAccountMayChange) {
    const std::wstring open = s_directory + L"\\open";
    ASSERT_TRUE(CreateDirectoryW(open.c_str(), nullptr));
    ASSERT_TRUE(OpenToEveryone(open));

    const ProcessResult refused =
        RunAgent(L"service install --users " + Quoted(UsersPath()) + L" --log " + Quoted(open + L"\\service.log"));
    RemoveDirectoryW(open.c_str());
    EXPECT_EQ(refused.exitCode, 1u) << refused.output;
    EXPECT_NE(refused.output.find("S-1-1-0"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("\\open,"), std::string::npos) << refused.output;
    EXPECT_FALSE(ReadInstalledService().exists);
}

// The guide's commands in their order, the test agent's command line in place of qm-agent.exe's.
// The lines that Wine's sc does not know are the ones the guide marks as Windows-only.
TEST_F(AgentService, TheGuidesScCommandsInstallRunAndRemoveTheService) {
    const std::vector<std::string> commands = GuideServiceCommands();
    ASSERT_FALSE(commands.empty()) << "no sc create qm-agent block in " << QM_E2E_AGENT_GUIDE;
    const std::string guidePath = R"("\"C:\Program Files\Quillmere\qm-agent\qm-agent.exe\"")";
    std::string agentPath;
    for (const wchar_t c : ServiceCommandLine()) {
        agentPath += c == L'"' ? std::string("\\\"") : std::string(1, static_cast<char>(c));
    }
    agentPath = "\"" + agentPath + "\"";
    const std::vector<std::string> windowsOnly = {"sc sidtype ", "sc failureflag ", "sc config ",  "sc showsid ",
                                                  "sc qc ",      "sc qsidtype ",    "sc qfailure "};
    int run = 0;
    for (std::string command : commands) {
        ASSERT_EQ(command.rfind("sc ", 0), 0u) << "not an sc command: " << command;
        if (std::any_of(windowsOnly.begin(), windowsOnly.end(),
                        [&](const std::string& verb) { return command.rfind(verb, 0) == 0; })) {
            continue;
        }
        const size_t path = command.find(guidePath);
        if (command.rfind("sc create ", 0) == 0) {
            ASSERT_NE(path, std::string::npos) << command;
            command.replace(path, guidePath.size(), agentPath);
        }
        const ProcessResult result = RunProcess(std::wstring(command.begin(), command.end()), "", kRunTimeoutMs);
        EXPECT_EQ(result.exitCode, 0u) << command << "\n" << result.output;
        ++run;
        if (command.rfind("sc start ", 0) == 0) {
            EXPECT_TRUE(ReachesState(SERVICE_RUNNING)) << command;
        } else if (command.rfind("sc stop ", 0) == 0) {
            EXPECT_TRUE(ReachesState(SERVICE_STOPPED)) << command;
        }
    }
    EXPECT_GE(run, 7);
    EXPECT_FALSE(ReadInstalledService().exists);
    EXPECT_TRUE(PipeNameIsFree());
}

}  // namespace
