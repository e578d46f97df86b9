// credhost doctor as an administrator meets it. On the machine Wine makes: the package installed
// with msiexec and test-agent.exe serving give an all-OK report (text and JSON alike, exit 0);
// then each broken state is made in turn, and the report must name it in its own FAIL line
// (exit 3) with no other failure. What Wine cannot make goes through doctor's checks in this
// process: a service SID type (Wine's service manager keeps none) through the service check's
// table of calls, and security descriptors as Windows writes them (Wine synthesises a file's
// descriptor from its Unix mode and ignores one that is set) as arguments.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "agent_pipe_checks.h"
#include "agent_service_checks.h"
#include "base/local_memory.h"
#include "dll_folder_check.h"
#include "object_writers.h"
#include "check_report_format.h"
#include "provider_class_id.h"
#include "service_query_calls.h"
#include "support/agent_service_handle.h"
#include "support/child_process.h"
#include "support/scoped_system_calls.h"
#include "support/scripted_agent.h"
#include "support/test_agent_process.h"

#include <sddl.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr DWORD kMsiexecTimeoutMs = 120000;
const std::wstring kProviderKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\") +
    kProviderClsidText;
constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const std::wstring kServerKey = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kProviderClsidText + L"\\InprocServer32";
constexpr wchar_t kInstalledDll[] = L"C:\\Program Files\\qm-credprovider\\qm-credprovider.dll";
constexpr wchar_t kMovedDll[] = L"C:\\Program Files\\qm-credprovider\\qm-credprovider.dll.moved";
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\qm-credprovider";
constexpr wchar_t kBareDll[] = L"qm-credprovider.dll";
// A credential provider filter of no real maker, with its class registered.
constexpr wchar_t kFilterClsid[] = L"{0D5AC9E3-7B1F-4E0A-9C2D-6A1B3C4D5E6F}";
const std::wstring kFilterKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Provider Filters\\") +
    kFilterClsid;
const std::wstring kFilterClassKey = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kFilterClsid;
constexpr wchar_t kFilterDll[] = L"C:\\filters\\some-filter.dll";
// The DACL of docs/agent-guide.md, which the test agent gives its pipe too.
constexpr wchar_t kRecommendedDacl[] = L"D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)";

ProcessResult Msiexec(const std::wstring& action) {
    return RunProcess(L"msiexec " + action + L" " + Quoted(WindowsPathOf(QM_MSI)) + L" /qn /norestart", "",
                      kMsiexecTimeoutMs);
}

// The report's lines by check name, in order ("FAIL  provider entry: ...").
std::vector<std::pair<std::string, std::string>> ReportLines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        const size_t colon = line.find(": ");
        if (line.size() > 6 && colon != std::string::npos && line.rfind("credhost doctor:", 0) != 0) {
            lines.emplace_back(line.substr(6, colon - 6), line);
        }
    }
    return lines;
}

// A qm-agent service (LocalSystem, never started) for as long as the object lives.
class AgentService {
public:
    explicit AgentService(DWORD startType) {
        Delete();
        const ScmHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const ScmHandle service(CreateServiceW(manager.Get(), kAgentServiceName, L"qm-agent (doctor test)",
                                               SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                                               SERVICE_ERROR_NORMAL, WindowsPathOf(QM_TEST_AGENT).c_str(), nullptr,
                                               nullptr, nullptr, nullptr, nullptr));
        m_created = static_cast<bool>(service);
    }
    ~AgentService() { Delete(); }
    AgentService(const AgentService&) = delete;
    AgentService& operator=(const AgentService&) = delete;

    bool Created() const { return m_created; }

private:
    static void Delete() {
        const ScmHandle service = OpenAgentService(DELETE);
        if (service) {
            DeleteService(service.Get());
        }
    }

    bool m_created = false;
};

class DoctorOnWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_directory = CreateTestFolder(L"qm-doctor");
        // A run that was interrupted may have left the product installed.
        Msiexec(L"/x");
    }

    static void TearDownTestSuite() {
        Msiexec(L"/x");
        RemoveTestFolder(s_directory);
    }

    static ProcessResult Doctor(const std::wstring& options = L"") {
        return RunProcess(Quoted(WindowsPathOf(QM_CREDHOST)) + L" doctor" + options, "", kRunTimeoutMs);
    }

    static std::wstring s_directory;
};

std::wstring DoctorOnWine::s_directory;

TEST_F(DoctorOnWine, NamesEachBrokenStateInOneLine) {
    const ProcessResult installed = Msiexec(L"/i");
    ASSERT_EQ(installed.exitCode, 0u) << installed.output;
    TestAgentProcess agent(WindowsPathOf(QM_TEST_AGENT), s_directory);
    ASSERT_EQ(agent.AddUser(L"--user demo --iterations 2000", "doctor-pw").exitCode, 0u);
    ASSERT_TRUE(agent.Start());

    const ProcessResult healthy = Doctor();
    EXPECT_EQ(healthy.exitCode, 0u) << healthy.output;
    const auto lines = ReportLines(healthy.output);
    EXPECT_GE(lines.size(), 11u) << healthy.output;
    const ProcessResult json = Doctor(L" --json");
    EXPECT_EQ(json.exitCode, 0u) << json.output;
    const nlohmann::json report = nlohmann::json::parse(json.output, nullptr, false);
    ASSERT_TRUE(report.is_object() && report["checks"].size() == lines.size()) << json.output;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].second.rfind("OK    ", 0), 0u) << lines[i].second;
        EXPECT_EQ(report["checks"][i]["check"], lines[i].first);
        EXPECT_EQ(report["checks"][i]["status"], "OK");
    }

    std::unique_ptr<ScriptedAgent> impostor;
    std::unique_ptr<AgentService> service;
    const auto servePipe = [&](const wchar_t* sddl) {
        agent.Stop();
        ScriptedAgentOptions options;
        options.securitySddl = sddl;
        impostor = std::make_unique<ScriptedAgent>(AgentBehaviour::HangUp(), options);
        ASSERT_TRUE(impostor->Start());
    };
    const auto restoreAgent = [&] {
        impostor.reset();
        ASSERT_TRUE(agent.Start());
    };
    wchar_t testFolder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, testFolder);
    struct BrokenState {
        const char* what;
        std::function<void()> make;
        std::function<void()> undo;
        std::string check;
        std::string says;
        std::string verdict = "FAIL";  // or "WARN", the only line that is not OK
        std::string notSaid = {};      // nowhere in the report
    };
    const BrokenState states[] = {
        {"the DLL missing", [] { MoveFileW(kInstalledDll, kMovedDll); }, [] { MoveFileW(kMovedDll, kInstalledDll); },
         "provider DLL", "qm-credprovider\\qm-credprovider.dll: not found"},
        // Doctor runs in the DLL's own folder, where the sign-in screen's loader never looks.
        {"the DLL registered by its bare name",
         [&] {
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey.c_str(), nullptr, REG_SZ, kBareDll, sizeof(kBareDll));
             SetCurrentDirectoryW(kInstallFolder);
         },
         [&] {
             SetCurrentDirectoryW(testFolder);
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey.c_str(), nullptr, REG_SZ, kInstalledDll,
                             sizeof(kInstalledDll));
         },
         "provider DLL", "qm-credprovider.dll: not found in the system folder, the Windows folder or PATH", "FAIL",
         "DLL folder"},
        {"Disabled set",
         [] {
             const DWORD one = 1;
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), L"Disabled", REG_DWORD, &one, sizeof(one));
         },
         [] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), L"Disabled"); }, "provider entry",
         "Disabled = 1: the sign-in screen skips the provider"},
        {"excluded by policy",
         [] {
             // In lower case, as administrators may write it: the match ignores case.
             std::wstring list = std::wstring(L"{60b78e88-ead8-445c-9cfd-0b87f74ea6cd}, ") + kProviderClsidText;
             std::transform(list.begin(), list.end(), list.begin(),
                            [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"ExcludedCredentialProviders", REG_SZ, list.c_str(),
                             static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t)));
         },
         [] { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPolicyKey, L"ExcludedCredentialProviders"); }, "exclusion policy",
         "ExcludedCredentialProviders lists this provider"},
        {"the agent down, with no service", [&] { agent.Stop(); }, [&] { ASSERT_TRUE(agent.Start()); }, "agent pipe",
         "does not exist: no agent is serving it", "FAIL", "agent service"},
        {"a pipe owned by another account",
         [&] { servePipe((std::wstring(L"O:S-1-5-21-1-2-3-1001") + kRecommendedDacl).c_str()); }, restoreAgent,
         "agent pipe owner", "S-1-5-21-1-2-3-1001 is not LocalSystem, the Administrators or NT SERVICE\\qm-agent"},
        {"a pipe whose instances anyone may create", [&] { servePipe(L"O:SYD:(A;;GA;;;SY)(A;;GA;;;WD)"); },
         restoreAgent, "agent pipe access", "(S-1-1-0) may create instances"},
        {"a pipe that interactive users may not write",
         [&] { servePipe(L"O:SYD:P(D;;GA;;;NU)(D;;0x2;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)"); },
         restoreAgent, "agent pipe user access", "a standard user's credential prompt would fail", "WARN"},
        {"a service started by hand", [&] { service = std::make_unique<AgentService>(SERVICE_DEMAND_START); },
         [&] { service.reset(); }, "agent service start", "manual, not running"},
        {"an automatic service that is stopped", [&] { service = std::make_unique<AgentService>(SERVICE_AUTO_START); },
         [&] { service.reset(); }, "agent service start",
         "automatic, not running: the tile refuses every sign-in until the service runs"},
        {"a credential provider filter",
         [] {
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, kFilterKey.c_str(), nullptr, REG_SZ, L"", sizeof(wchar_t));
             RegSetKeyValueW(HKEY_LOCAL_MACHINE, (kFilterClassKey + L"\\InprocServer32").c_str(), nullptr, REG_SZ,
                             kFilterDll, sizeof(kFilterDll));
         },
         [] {
             RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFilterKey.c_str());
             RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFilterClassKey.c_str());
         },
         "provider filters", "{0D5AC9E3-7B1F-4E0A-9C2D-6A1B3C4D5E6F} (C:\\filters\\some-filter.dll)", "WARN"},
    };
    for (const BrokenState& state : states) {
        state.make();
        const ProcessResult broken = Doctor();
        state.undo();
        EXPECT_EQ(broken.exitCode, state.verdict == "FAIL" ? 3u : 1u) << state.what << "\n" << broken.output;
        if (!state.notSaid.empty()) {
            EXPECT_EQ(broken.output.find(state.notSaid), std::string::npos) << state.what << "\n" << broken.output;
        }
        bool named = false;
        for (const auto& [check, line] : ReportLines(broken.output)) {
            if (check == state.check) {
                named = true;
                EXPECT_EQ(line.rfind(state.verdict + "  ", 0), 0u) << state.what << ": " << line;
                EXPECT_NE(line.find(state.says), std::string::npos) << state.what << ": " << line;
                EXPECT_NE(line.find(" -- "), std::string::npos) << state.what << " gives no hint: " << line;
            } else {
                EXPECT_NE(line.rfind("FAIL", 0), 0u) << state.what << " also fails: " << line;
            }
        }
        EXPECT_TRUE(named) << state.what << " has no " << state.check << " line:\n" << broken.output;
    }

    // What hides the provider from the sign-in screen, list and signin read as doctor does: list
    // marks it, signin says so once and still drives it.
    const auto stateNamed = [&states](const std::string& what) -> const BrokenState& {
        return *std::find_if(std::begin(states), std::end(states),
                             [&what](const BrokenState& state) { return state.what == what; });
    };
    stateNamed("Disabled set").make();
    stateNamed("excluded by policy").make();
    const std::wstring credhost = Quoted(WindowsPathOf(QM_CREDHOST));
    const ProcessResult hiddenList = RunProcess(credhost + L" list", "", kRunTimeoutMs);
    const ProcessResult hiddenSignIn = RunProcess(
        credhost + L" signin " + kProviderClsidText + L" --user demo --json", "doctor-pw\n", kRunTimeoutMs);
    stateNamed("excluded by policy").undo();
    stateNamed("Disabled set").undo();
    EXPECT_NE(hiddenList.output.find("(disabled)  (excluded by policy)"), std::string::npos) << hiddenList.output;
    EXPECT_EQ(hiddenSignIn.exitCode, 0u) << hiddenSignIn.output;
    const std::string said = "would not show this provider (Disabled = 1 and ExcludedCredentialProviders lists it)";
    const size_t first = hiddenSignIn.output.find(said);
    EXPECT_NE(first, std::string::npos) << hiddenSignIn.output;
    EXPECT_EQ(hiddenSignIn.output.find(said, first + 1), std::string::npos) << hiddenSignIn.output;
    EXPECT_NE(hiddenSignIn.output.find("\"shown\":false"), std::string::npos) << hiddenSignIn.output;

    // What the registry says reaches the console escaped, in doctor's report as in list's.
    const wchar_t hostile[] = L"C:\\qm\x1B[31m\x202E.dll";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey.c_str(), nullptr, REG_SZ, hostile, sizeof(hostile));
    const ProcessResult doctor = Doctor();
    const ProcessResult list = RunProcess(Quoted(WindowsPathOf(QM_CREDHOST)) + L" list", "", kRunTimeoutMs);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey.c_str(), nullptr, REG_SZ, kInstalledDll, sizeof(kInstalledDll));
    EXPECT_NE(doctor.output.find("C:\\qm\\x1B[31m\\u{202E}.dll: not found"), std::string::npos) << doctor.output;
    EXPECT_NE(list.output.find("C:\\qm\\x1B[31m\\u{202E}.dll"), std::string::npos) << list.output;
    for (const std::string& output : {doctor.output, list.output}) {
        EXPECT_EQ(output.find('\x1B'), std::string::npos) << output;
        EXPECT_EQ(output.find("\xE2\x80\xAE"), std::string::npos) << output;
    }
}

// Replaces QueryServiceConfig2W's answer about the service SID type.
DWORD g_sidType = SERVICE_SID_TYPE_NONE;
BOOL WINAPI SidTypeAnswer(SC_HANDLE service, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
    if (level != SERVICE_CONFIG_SERVICE_SID_INFO) {
        return kRealServiceQueryCalls.queryServiceConfig2(service, level, buffer, size, needed);
    }
    reinterpret_cast<SERVICE_SID_INFO*>(buffer)->dwServiceSidType = g_sidType;
    *needed = sizeof(SERVICE_SID_INFO);
    return TRUE;
}

TEST(DoctorBeyondWine, ServiceSidTypeAsWindowsReportsIt) {
    const AgentService service(SERVICE_AUTO_START);
    ASSERT_TRUE(service.Created());
    ScopedSystemCalls<ServiceQueryCalls> calls(g_serviceQueryCalls);
    calls->queryServiceConfig2 = SidTypeAnswer;
    const struct {
        DWORD sidType;
        CheckStatus status;
        std::string says;
        std::string hint;
    } cases[] = {
        {SERVICE_SID_TYPE_NONE, CheckStatus::Warn, "SID type none",
         "sc.exe sidtype qm-agent unrestricted, then restart Windows: a new SID type takes effect at the next system "
         "start"},
        {SERVICE_SID_TYPE_UNRESTRICTED, CheckStatus::Ok, "unrestricted", ""},
    };
    for (const auto& c : cases) {
        g_sidType = c.sidType;
        CheckReport report;
        CheckAgentService(report, true);
        ASSERT_EQ(report.size(), 3u) << CheckReportText(report);
        EXPECT_EQ(report[0].status, CheckStatus::Fail) << CheckReportText(report);  // automatic, never started
        EXPECT_EQ(report[1].status, CheckStatus::Ok) << CheckReportText(report);  // LocalSystem
        EXPECT_EQ(report[2].name, "agent service SID");
        EXPECT_EQ(report[2].status, c.status) << CheckReportText(report);
        EXPECT_NE(report[2].detail.find(c.says), std::string::npos) << report[2].detail;
        EXPECT_EQ(report[2].hint, c.hint);
    }
}

// A security descriptor from SDDL, for as long as the object lives.
struct Descriptor {
    explicit Descriptor(const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR raw = nullptr;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw, nullptr)) << sddl;
        memory.reset(raw);
    }
    PACL Dacl() const {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        GetSecurityDescriptorDacl(memory.get(), &present, &dacl, &defaulted);
        return present ? dacl : nullptr;
    }
    LocalMemory memory;
};

// Every expected SID appears among the accounts, and there are no others.
void ExpectAccounts(const std::vector<std::string>& accounts, const std::vector<std::string>& sids,
                    const wchar_t* sddl) {
    std::string all;
    for (const std::string& account : accounts) {
        all += account + "; ";
    }
    EXPECT_EQ(accounts.size(), sids.size()) << all;
    for (const std::string& sid : sids) {
        EXPECT_NE(all.find(sid), std::string::npos) << sid << " not named for " << sddl << ": " << all;
    }
}

TEST(DoctorBeyondWine, DescriptorsAsWindowsWritesThem) {
    PSID wineUser = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-21-0-0-0-1000", &wineUser));
    const LocalMemory wineUserMemory(wineUser);
    const struct {
        const wchar_t* sddl;
        PSID runningAdministrator;
        std::vector<std::string> writers;
    } folders[] = {
        // A folder that Windows Installer makes under Program Files.
        {L"O:BAD:AI(A;OICIIOID;GA;;;CO)(A;OICIIOID;GA;;;SY)(A;ID;0x1301bf;;;SY)(A;OICIIOID;GA;;;BA)"
         L"(A;ID;0x1301bf;;;BA)(A;OICIIOID;GXGR;;;BU)(A;ID;0x1200a9;;;BU)"
         L"(A;ID;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;ID;0x1200a9;;;AC)",
         nullptr,
         {}},
        // A public folder: interactive users may modify it.
        {L"O:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1301bf;;;IU)(A;OICIIO;SDGXGWGR;;;IU)", nullptr, {"S-1-5-4"}},
        // A folder that a standard user made under C:\: theirs, and modifiable by every signed-in user.
        {L"O:S-1-5-21-1-2-3-1001D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;CO)(A;ID;0x1301bf;;;AU)"
         L"(A;ID;0x1200a9;;;BU)",
         nullptr,
         {"S-1-5-21-1-2-3-1001", "S-1-5-11"}},
        // What Wine reports for a folder of mode 777, to its own elevated account; and of mode 755,
        // to that account elevated and not.
        {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1301ff;;;WD)",
         wineUser,
         {"S-1-1-0"}},
        {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)",
         wineUser,
         {}},
        {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)",
         nullptr,
         {"owner ", "S-1-5-21-0-0-0-1000"}},
    };
    for (const auto& folder : folders) {
        const Descriptor descriptor(folder.sddl);
        TrustedWriters trusted;
        if (folder.runningAdministrator != nullptr) {
            trusted.Add(folder.runningAdministrator);
        }
        ExpectAccounts(UntrustedWritersOf(descriptor.memory.get(), trusted), folder.writers, folder.sddl);
    }
    // Pipe DACLs as Windows stores them (generic rights mapped to the pipe's own): who may create
    // instances, and whether a standard user's credential prompt may open the pipe as the module
    // does (read, write data 0x2, write attributes 0x100), deny entries weighed in their order.
    const struct {
        const wchar_t* sddl;
        std::vector<std::string> creators;
        CheckStatus userAccess;
    } pipes[] = {
        {L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x0012019B;;;IU)", {}, CheckStatus::Ok},
        {L"D:P(A;;FA;;;S-1-5-80-150321250-2041296840-1456520357-1891932008-333219552)(A;;0x0012019B;;;IU)", {},
         CheckStatus::Ok},
        {L"D:P(A;;FA;;;SY)(A;;FA;;;S-1-5-21-1-2-3-1001)", {"S-1-5-21-1-2-3-1001"}, CheckStatus::Warn},
        {L"D:P(A;;FA;;;SY)(A;;0x00120004;;;IU)", {"S-1-5-4"}, CheckStatus::Warn},
        // Through a group every signed-in user holds, in generic rights.
        {L"D:P(A;;FA;;;SY)(A;;GRGW;;;BU)", {"S-1-5-32-545"}, CheckStatus::Ok},
        {L"D:P(A;;FA;;;SY)(A;;FR;;;WD)", {}, CheckStatus::Warn},
        // A deny entry refuses only when it comes before the rights are all granted.
        {L"D:P(D;;0x100;;;AU)(A;;FA;;;SY)(A;;0x0012019B;;;IU)", {}, CheckStatus::Warn},
        {L"D:(A;;FA;;;SY)(A;;0x0012019B;;;IU)(D;;0x2;;;IU)", {}, CheckStatus::Ok},
        {L"D:P(D;;0x2;;;NU)(A;;FA;;;SY)(A;;0x0012019B;;;IU)", {}, CheckStatus::Ok},
    };
    for (const auto& pipe : pipes) {
        const Descriptor descriptor(pipe.sddl);
        ExpectAccounts(UntrustedInstanceCreators(descriptor.Dacl()), pipe.creators, pipe.sddl);
        CheckReport report;
        CheckInteractiveUsersAccess(report, descriptor.Dacl());
        ASSERT_EQ(report.size(), 1u);
        EXPECT_EQ(report[0].status, pipe.userAccess) << pipe.sddl << ": " << report[0].detail;
    }
    // A null DACL lets everyone do everything. (Wine's SDDL parser makes "D:NO_ACCESS_CONTROL" an
    // empty DACL instead, which lets no one in, so this one is built by hand.)
    SECURITY_DESCRIPTOR nullDacl{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
    ExpectAccounts(UntrustedWritersOf(&nullDacl, TrustedWriters()), {"Everyone (no DACL)"}, L"a null DACL");
    ExpectAccounts(UntrustedInstanceCreators(nullptr), {"Everyone (no DACL)"}, L"a null DACL");
}

// A DLL registered in a drive's root: the folder checked is the root, not the drive's current
// folder that "C:" alone would name.
TEST(DoctorDllFolder, ADriveRootIsCheckedAsTheRoot) {
    CheckReport report;
    CheckDllFolder(report, L"C:\\qm-credprovider.dll");
    ASSERT_EQ(report.size(), 1u);
    EXPECT_NE(report[0].detail.find("C:\\ "), std::string::npos) << report[0].detail;
}

}  // namespace
