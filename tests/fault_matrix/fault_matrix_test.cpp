// The fault matrix: every failure the module can meet, provoked one at a time while the sign-in
// screen's whole call sequence runs, and the transcript of that sequence compared with the one
// of an undisturbed run. A row names the steps whose outcome the failure changes, and how; every
// other step must come out as without the failure. Each run must also end with no CoTaskMem
// block of the module outstanding and the module free to unload. docs/reliability.md lists the
// rows.
#include <gtest/gtest.h>

#include <olectl.h>

#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "agent/agent_system_calls.h"
#include "logon/logon_system_calls.h"
#include "module/registration_system_calls.h"
#include "sign_in_sequence.h"
#include "support/malloc_spy.h"
#include "support/provider_registration_reader.h"
#include "support/registry_sandbox.h"
#include "support/scoped_system_calls.h"
#include "support/scripted_agent.h"

namespace {

using Changes = std::vector<std::pair<std::string, std::string>>;  // step name -> what it now shows

constexpr char kApproved[] = R"({"status":"OK","username":"alice"})";
constexpr char kRefused[] = R"({"status":"DENIED","reason":"Wrong password."})";

std::string Failed(const char* text) { return std::string("S_OK no credential CPSI_ERROR \"") + text + "\""; }
const std::string kPrompt = "S_OK no credential CPSI_NONE \"Enter username and password.\"";

// Both submissions that reach the agent show the same failure text.
Changes BothSubmissions(const std::string& seen) {
    return {{"GetSerialization(refused)", seen}, {"GetSerialization(approved)", seen}};
}

bool ApprovesRight(std::string_view request) {
    return request.find(std::string("\"password\":\"") + kApprovingPassword + "\"") != std::string_view::npos;
}

// How the matrix's agent serves the pipe: its normal answers, except for the approved request,
// which gets `forApproved` when that is set.
enum class Serving { Normally, NotAtAll, Busy, InboundOnly, OwnedByAnotherAccount };

struct AgentSetup {
    Serving serving = Serving::Normally;
    std::optional<AgentBehaviour> forApproved;
};

std::unique_ptr<ScriptedAgent> StartAgent(const AgentSetup& setup) {
    if (setup.serving == Serving::NotAtAll) {
        return nullptr;
    }
    ScriptedAgentOptions options;
    options.inboundOnly = setup.serving == Serving::InboundOnly;
    if (setup.serving == Serving::OwnedByAnotherAccount) {
        options.securitySddl = L"O:S-1-5-21-1-2-3-1001";  // a squatter's pipe: its own user owns it
    }
    const std::optional<AgentBehaviour> forApproved = setup.forApproved;
    auto agent = std::make_unique<ScriptedAgent>(
        [forApproved](std::string_view request) {
            if (!ApprovesRight(request)) {
                return AgentBehaviour::ReplyWith(kRefused);
            }
            return forApproved ? *forApproved : AgentBehaviour::ReplyWith(kApproved);
        },
        options);
    const bool started = setup.serving == Serving::Busy ? agent->StartBusy() : agent->Start();
    EXPECT_TRUE(started) << GetLastError();
    return agent;
}

// The transcript expected when changes apply to the baseline; a step named in endsAfter is the
// last one the host gets to.
std::vector<SequenceStep> Expected(std::vector<SequenceStep> steps, const Changes& changes, const char* endsAfter) {
    for (SequenceStep& step : steps) {
        for (const auto& [name, seen] : changes) {
            if (step.name == name) {
                step.seen = seen;
            }
        }
    }
    for (size_t i = 0; endsAfter != nullptr && i < steps.size(); ++i) {
        if (steps[i].name == endsAfter) {
            steps.resize(i + 1);
        }
    }
    return steps;
}

void ExpectTranscript(const SequenceRun& run, const std::vector<SequenceStep>& expected) {
    ASSERT_EQ(run.steps.size(), expected.size()) << "the sequence ended at " << run.steps.back().name;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(run.steps[i].name, expected[i].name);
        EXPECT_EQ(run.steps[i].seen, expected[i].seen) << "at " << expected[i].name;
    }
    EXPECT_EQ(run.outstandingBlocks, 0u);
    EXPECT_EQ(run.canUnloadNow, S_OK);
}

// The undisturbed run, against the normal agent.
const std::vector<SequenceStep>& Baseline() {
    static const std::vector<SequenceStep> steps = [] {
        auto agent = StartAgent({});
        return RunSignInSequence().steps;
    }();
    return steps;
}

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Baseline().empty()); }
    ScopedSystemCalls<AgentSystemCalls> m_agentCalls{g_agentSystemCalls};
    ScopedSystemCalls<LogonSystemCalls> m_logonCalls{g_logonSystemCalls};
    ScopedSystemCalls<RegistrationSystemCalls> m_registrationCalls{g_registrationSystemCalls};
};

TEST_F(FaultMatrix, UndisturbedSequenceSignsIn) {
    std::map<std::string, std::string> seen;
    for (const SequenceStep& step : Baseline()) {
        seen[step.name] = step.seen;
    }
    EXPECT_EQ(seen["GetSerialization(empty)"], kPrompt);
    EXPECT_EQ(seen["GetSerialization(refused)"], Failed("Wrong password."));
    EXPECT_EQ(seen["GetSerialization(approved)"], "S_OK credential(package 1) CPSI_NONE null");
    EXPECT_EQ(seen["ReportResult"], "S_OK CPSI_NONE null");
    EXPECT_EQ(seen["GetFieldDescriptorAt(4)"], "S_OK label");
}

// --- Allocation failures: each allocation of the sequence, one run per allocation ---------------

enum class Allocation { TaskMemory, NothrowNew, AgentBuffer };

struct AllocationRow {
    Allocation kind;
    const char* strikes;  // the step it strikes, or the call whose every step "call(...)" it strikes
    int nth;              // the step's nth CoTaskMemAlloc (1-based); 0: any
    std::string seen;     // what that step then shows
    Changes later;        // later steps that change
    const char* endsAfter = nullptr;
};

const std::vector<AllocationRow>& AllocationRows() {
    static const std::vector<AllocationRow> rows = {
        {Allocation::NothrowNew, "DllGetClassObject", 0, "E_OUTOFMEMORY null", {}, "DllGetClassObject"},
        {Allocation::NothrowNew, "CreateInstance", 0, "E_OUTOFMEMORY null", {}, "CreateInstance"},
        {Allocation::NothrowNew,
         "SetUsageScenario",
         0,
         "E_OUTOFMEMORY",
         {{"GetCredentialAt", "E_INVALIDARG null"}},
         "GetCredentialAt"},
        {Allocation::TaskMemory, "GetFieldDescriptorAt", 1, "E_OUTOFMEMORY null", {}},
        {Allocation::TaskMemory, "GetFieldDescriptorAt", 2, "S_OK no label", {}},
        {Allocation::TaskMemory, "GetStringValue", 1, "E_OUTOFMEMORY null", {}},
        {Allocation::TaskMemory, "GetSerialization(empty)", 1, "E_OUTOFMEMORY no credential CPSI_NONE null", {}},
        {Allocation::TaskMemory,
         "SetStringValue(user)",
         1,
         "S_OK",
         {{"GetSerialization(refused)", kPrompt}, {"GetSerialization(approved)", kPrompt}}},
        {Allocation::TaskMemory, "SetStringValue(password)", 1, "S_OK", {{"GetSerialization(refused)", kPrompt}}},
        {Allocation::TaskMemory, "GetSerialization(refused)", 1, "S_OK no credential CPSI_ERROR null", {}},
        {Allocation::TaskMemory,
         "SetStringValue(password again)",
         1,
         "S_OK",
         {{"GetSerialization(approved)", kPrompt}}},
        {Allocation::TaskMemory,
         "GetSerialization(approved)",
         1,
         "E_OUTOFMEMORY no credential CPSI_ERROR \"Failed to build logon.\"",
         {}},
        {Allocation::AgentBuffer, "GetSerialization(approved)", 0, Failed("Authentication failed."), {}},
    };
    return rows;
}

// The step that the run's failure struck: for CoTaskMem, the step that made the failed request;
// otherwise the first step that differs from the baseline.
size_t StruckStep(const SequenceRun& run, Allocation kind, unsigned nth) {
    for (size_t i = 0; i < run.steps.size(); ++i) {
        const SequenceStep& step = run.steps[i];
        const bool struck = kind == Allocation::TaskMemory
                                ? step.allocationsBefore < nth && nth <= step.allocationsAfter
                                : i >= Baseline().size() || step.seen != Baseline()[i].seen;
        if (struck) {
            return i;
        }
    }
    return run.steps.size() - 1;  // a shortened run: its last step is where it stopped
}

// Checks one failed run against the one row that describes it; returns that row's index.
int CheckAllocationFailure(const SequenceRun& run, Allocation kind, unsigned nth) {
    const size_t struck = StruckStep(run, kind, nth);
    const SequenceStep& step = run.steps[struck];
    const int nthInStep = static_cast<int>(nth - step.allocationsBefore);
    const auto& rows = AllocationRows();
    for (size_t r = 0; r < rows.size(); ++r) {
        const AllocationRow& row = rows[r];
        const bool named = step.name == row.strikes || step.name.rfind(std::string(row.strikes) + "(", 0) == 0;
        if (row.kind != kind || !named || (kind == Allocation::TaskMemory && row.nth != nthInStep)) {
            continue;
        }
        Changes changes = row.later;
        changes.emplace_back(step.name, row.seen);
        ExpectTranscript(run, Expected(Baseline(), changes, row.endsAfter));
        return static_cast<int>(r);
    }
    ADD_FAILURE() << "no row for a failure in " << step.name << " (allocation " << nthInStep << " of the step)";
    return -1;
}

TEST_F(FaultMatrix, EveryAllocationFailureHasItsDocumentedOutcome) {
    auto agent = StartAgent({});
    std::vector<int> hits(AllocationRows().size(), 0);
    auto count = [&](int row) {
        if (row >= 0) {
            ++hits[row];
        }
    };

    const unsigned taskFailures = ForEachAllocationFailure([&](unsigned nth) {
        SCOPED_TRACE(testing::Message() << "CoTaskMemAlloc " << nth);
        const SequenceRun run = RunSignInSequence();
        if (MallocSpy::Get().FailuresDelivered() == 0) {
            ExpectTranscript(run, Baseline());
            return;
        }
        count(CheckAllocationFailure(run, Allocation::TaskMemory, nth));
    });

    // The module's own objects (non-throwing new) and the agent exchange's buffers (operator new).
    unsigned newFailures[2] = {};
    for (Allocation kind : {Allocation::NothrowNew, Allocation::AgentBuffer}) {
        const bool objects = kind == Allocation::NothrowNew;
        for (unsigned nth = 1; nth < 1000; ++nth) {
            SCOPED_TRACE(testing::Message() << (objects ? "new (std::nothrow) " : "agent buffer allocation ") << nth);
            SequenceFaults faults;
            if (objects) {
                faults.nothrowNew = nth;
            } else {
                faults.agentBufferBudget = nth - 1;
            }
            const SequenceRun run = RunSignInSequence(faults);
            if (!run.nothrowNewFailed && !run.agentBufferRefused) {
                ExpectTranscript(run, Baseline());
                break;
            }
            ++newFailures[objects ? 0 : 1];
            count(CheckAllocationFailure(run, kind, nth));
        }
    }

    for (size_t r = 0; r < hits.size(); ++r) {
        EXPECT_GT(hits[r], 0) << "row " << AllocationRows()[r].strikes << " was never struck";
    }
    std::printf("allocation failures: %u CoTaskMemAlloc, %u new (std::nothrow), %u agent buffers\n", taskFailures,
                newFailures[0], newFailures[1]);
}

// --- Pipe and LSA failures: one run per condition -------------------------------------------------

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_NO_DATA);
    return FALSE;
}

BOOL WINAPI ShortWrite(HANDLE pipe, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return WriteFile(pipe, data, size - 1, written, overlapped);
}

NTSTATUS NTAPI RefusedConnection(PHANDLE) { return static_cast<NTSTATUS>(0xC0000022L); }  // access denied

NTSTATUS NTAPI UnknownPackage(HANDLE, PLSA_STRING, PULONG) { return static_cast<NTSTATUS>(0xC00000FEL); }

NTSTATUS NTAPI FailedDeregistration(HANDLE lsa) {
    LsaDeregisterLogonProcess(lsa);             // the connection still goes, so the run leaks nothing
    return static_cast<NTSTATUS>(0xC0000008L);  // invalid handle
}

struct ConditionRow {
    const char* failure;
    AgentSetup agent;
    decltype(&WriteFile) writeFile = nullptr;
    LogonSystemCalls lsa = {};  // null entries keep the real call
    Changes changes;
};

const std::vector<ConditionRow>& ConditionRows() {
    static constexpr char kUnreachable[] = "qm-agent unreachable (pipe timeout)";
    static const std::string head = R"({"status":"OK","pad":")";
    static const std::string oversized = head + std::string(4096 - head.size() - 2, 'x') + R"("})";
    static const std::vector<ConditionRow> rows = {
        {"no pipe", {Serving::NotAtAll, std::nullopt}, nullptr, {}, BothSubmissions(Failed(kUnreachable))},
        {"pipe busy for 5 s", {Serving::Busy, std::nullopt}, nullptr, {}, BothSubmissions(Failed(kUnreachable))},
        {"open refused",
         {Serving::InboundOnly, std::nullopt},
         nullptr,
         {},
         BothSubmissions(Failed("qm-agent pipe open failed"))},
        {"pipe owned by another account",
         {Serving::OwnedByAnotherAccount, std::nullopt},
         nullptr,
         {},
         BothSubmissions(Failed("qm-agent pipe server not trusted"))},
        {"write fails", {}, FailingWrite, {}, BothSubmissions(Failed("qm-agent pipe write failed"))},
        {"write stops short", {}, ShortWrite, {}, BothSubmissions(Failed("qm-agent pipe write failed"))},
        {"agent disconnects",
         {Serving::Normally, AgentBehaviour::HangUp()},
         nullptr,
         {},
         {{"GetSerialization(approved)", Failed("qm-agent pipe read failed")}}},
        {"reply of 4096 bytes",
         {Serving::Normally, AgentBehaviour::ReplyWith(oversized)},
         nullptr,
         {},
         {{"GetSerialization(approved)", Failed("qm-agent pipe read failed")}}},
        {"no answer for 10 s",
         {Serving::Normally, AgentBehaviour::Hold()},
         nullptr,
         {},
         {{"GetSerialization(approved)", Failed("qm-agent pipe read failed")}}},
        {"LSA connection refused",
         {},
         nullptr,
         {RefusedConnection, nullptr, nullptr, nullptr},
         {{"GetSerialization(approved)", "S_OK credential(package 0) CPSI_NONE null"}}},
        {"Kerberos package not found",
         {},
         nullptr,
         {nullptr, UnknownPackage, nullptr, nullptr},
         {{"GetSerialization(approved)", "S_OK credential(package 0) CPSI_NONE null"}}},
        {"LSA deregistration fails", {}, nullptr, {nullptr, nullptr, FailedDeregistration, nullptr}, {}},
    };
    return rows;
}

TEST_F(FaultMatrix, EveryPipeAndLsaFailureHasItsDocumentedOutcome) {
    for (const ConditionRow& row : ConditionRows()) {
        SCOPED_TRACE(row.failure);
        auto agent = StartAgent(row.agent);
        auto pick = [](auto fake, auto real) {
            return fake != nullptr ? fake : real;
        };
        m_agentCalls->writeFile = pick(row.writeFile, m_agentCalls.Real().writeFile);
        const LogonSystemCalls& real = m_logonCalls.Real();
        *m_logonCalls = {pick(row.lsa.connectUntrusted, real.connectUntrusted),
                         pick(row.lsa.lookupAuthenticationPackage, real.lookupAuthenticationPackage),
                         pick(row.lsa.deregisterLogonProcess, real.deregisterLogonProcess),
                         pick(row.lsa.getComputerName, real.getComputerName)};

        ExpectTranscript(RunSignInSequence(), Expected(Baseline(), row.changes, nullptr));
    }
}

// --- Registry failures: registration through the export ------------------------------------------

HKEY g_deniedRoot = nullptr;

LSTATUS WINAPI DenyingCreateKey(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (key == g_deniedRoot) {
        return ERROR_ACCESS_DENIED;
    }
    return RegCreateKeyExW(key, subKey, reserved, keyClass, options, desired, security, result, disposition);
}

TEST_F(FaultMatrix, EveryRegistryFailureHasItsDocumentedOutcome) {
    struct Row {
        const char* failure;
        HKEY denied;
        bool classRegistered;  // the HKEY_CLASSES_ROOT values were written before the failure
    };
    const Row rows[] = {
        {"HKEY_CLASSES_ROOT denied", HKEY_CLASSES_ROOT, false},
        {"HKEY_LOCAL_MACHINE denied", HKEY_LOCAL_MACHINE, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failure);
        RegistrySandbox sandbox(L"fault-matrix");
        ASSERT_TRUE(sandbox.Active());
        g_deniedRoot = row.denied;
        m_registrationCalls->regCreateKeyEx = DenyingCreateKey;

        EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
        EXPECT_EQ(RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderInprocServerKey).first, row.classRegistered ? 2 : -1);
        EXPECT_EQ(RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey).first, -1);
        EXPECT_EQ(DllUnregisterServer(), S_OK);
        EXPECT_TRUE(ProviderUnregistered());
    }
}

}  // namespace
