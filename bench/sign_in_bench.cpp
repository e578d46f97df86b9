// What the module costs a sign-in: a full GetSerialization through the tile against the bare
// pipe round trip, and against its floor (the Win32 calls one sign-in must make, made bare), all
// against the same in-process agent that answers at once; the time from loading the DLL to a tile that serves its
// fields; the DLL's size; and the allocations of one sign-in. Prints the figures; asserts nothing.
#include <windows.h>
#include <credentialprovider.h>
#include <aclapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "agent/agent_auth_client.h"
#include "agent/agent_pipe_protocol.h"
#include "agent/agent_server_identity.h"
#include "agent_pipe_name.h"
#include "logon/kerberos_logon_packer.h"
#include "logon/lsa_connection.h"
#include "provider/credential_provider.h"
#include "provider_class_id.h"
#include "support/child_process.h"
#include "support/malloc_spy.h"
#include "support/scripted_agent.h"
#include "support/whole_sign_in.h"
#include "tile_field_id.h"

namespace {

// Operator new calls made on the counting thread (the bench's own), the module's included: it
// is linked in statically. Wine's internal heap use is not seen.
thread_local bool t_counting = false;
thread_local size_t t_newCalls = 0;

void* CountedNew(std::size_t size) noexcept {
    t_newCalls += t_counting ? 1 : 0;
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = CountedNew(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr char kRequest[] = R"({"action":"AUTH","username":"bench","password":"bench-Passw0rd"})";
constexpr wchar_t kPassword[] = L"bench-Passw0rd";
constexpr int kRounds = 250;
constexpr int kPerRound = 20;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The least a client can do: open, message mode, write the request, read the reply, close.
bool BareExchange() {
    HANDLE pipe = CreateFileW(kAgentPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    DWORD count = 0;
    char reply[kAgentReplyBufferSize];
    const bool ok = WriteFile(pipe, kRequest, sizeof kRequest - 1, &count, nullptr) &&
                    ReadFile(pipe, reply, sizeof reply, &count, nullptr) && count > 0;
    CloseHandle(pipe);
    return ok;
}

// The Win32 calls one sign-in cannot do without, made bare in the order the module makes them:
// the pipe wait, the open, message mode, the owner and DACL of the server's pipe, the write and the read bounded by a wait on
// one event, the closes, the computer name and the three LSA calls of the package lookup. No encoding, no parsing, no
// allocation, no packing: the floor under GetSerialization.
bool FloorSignIn() {
    if (!WaitNamedPipeW(kAgentPipeName, kAgentPipeWaitMs)) {
        return false;
    }
    HANDLE pipe =
        CreateFileW(kAgentPipeName, kAgentPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);

    // The same call as the module's: the pipe's owner and DACL, read once and judged.
    bool ok = IsTrustedAgentServer(pipe);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    DWORD count = 0;
    ok = ok && WriteFile(pipe, kRequest, sizeof kRequest - 1, nullptr, &overlapped) &&
         GetOverlappedResult(pipe, &overlapped, &count, FALSE);
    char reply[kAgentReplyBufferSize];
    overlapped = {};
    overlapped.hEvent = event;
    if (ok && !ReadFile(pipe, reply, sizeof reply, nullptr, &overlapped)) {
        ok = GetLastError() == ERROR_IO_PENDING && WaitForSingleObject(event, kAgentIoTimeoutMs) == WAIT_OBJECT_0;
    }
    ok = ok && GetOverlappedResult(pipe, &overlapped, &count, FALSE) && count > 0;
    CloseHandle(event);
    CloseHandle(pipe);

    wchar_t computerName[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD capacity = ARRAYSIZE(computerName);
    ok = GetComputerNameW(computerName, &capacity) && ok;
    HANDLE lsa = nullptr;
    char packageName[] = "Kerberos";
    LSA_STRING kerberos = {sizeof packageName - 1, sizeof packageName, packageName};
    ULONG package = 0;
    ok = LsaConnectUntrusted(&lsa) == 0 && LsaLookupAuthenticationPackage(lsa, &kerberos, &package) == 0 && ok;
    LsaDeregisterLogonProcess(lsa);
    return ok;
}

bool TileSerialization(ICredentialProviderCredential* tile) {
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    PWSTR text = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon;
    const HRESULT hr = tile->GetSerialization(&response, &serialization, &text, &icon);
    FreeSerialization(serialization);
    CoTaskMemFree(text);
    return hr == S_OK && response == CPGSR_RETURN_CREDENTIAL_FINISHED;
}

bool ExchangeOnly() {
    AgentAuthResult result = {};
    return AgentAuthClient(L"bench", kPassword, &result) == S_OK && result.status == AgentAuthApproved;
}

// The pieces of the module's round trip that the bare exchange does without.
bool WaitOnly() { return WaitNamedPipeW(kAgentPipeName, kAgentPipeWaitMs) != FALSE; }

bool LsaLookupOnly() {
    LsaConnection lsa;
    return lsa.Connect() == 0 && lsa.LookupPackage("Kerberos") != 0;
}

bool ComputerNameOnly() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameW(name, &size) != FALSE;
}

bool PackOnly() {
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    const HRESULT hr = KerberosLogonPacker(L"bench", kPassword, CPUS_LOGON, 0, &serialization);
    FreeSerialization(serialization);
    return hr == S_OK;
}

// Median microseconds per call of each operation, the operations taking turns round by round so
// that a slow spell of the machine falls on all of them alike.
template <size_t N>
void Interleaved(bool (*const (&operations)[N])(), double (&medians)[N], int (&failures)[N]) {
    std::vector<double> perCall[N];
    for (int round = 0; round < kRounds; ++round) {
        for (size_t op = 0; op < N; ++op) {
            const double start = Now();
            for (int i = 0; i < kPerRound; ++i) {
                failures[op] += operations[op]() ? 0 : 1;
            }
            perCall[op].push_back((Now() - start) / kPerRound);
        }
    }
    for (size_t op = 0; op < N; ++op) {
        medians[op] = Median(perCall[op]);
    }
}

ICredentialProviderCredential* g_tile = nullptr;
bool SerializeBenchTile() { return TileSerialization(g_tile); }

// LoadLibrary to a tile that has served every field's descriptor and value; everything is
// released and the DLL freed again afterwards. Microseconds, or a negative value on failure.
double LoadToServingTile(const std::wstring& dll) {
    const double start = Now();
    HMODULE module = LoadLibraryW(dll.c_str());
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    ICredentialProvider* provider = nullptr;
    ICredentialProviderCredential* tile = nullptr;
    DWORD fields = 0;
    bool ok = getClassObject != nullptr &&
              getClassObject(CLSID_QMCredProvider, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK &&
              factory->CreateInstance(nullptr, IID_ICredentialProvider, reinterpret_cast<void**>(&provider)) == S_OK &&
              provider->SetUsageScenario(CPUS_LOGON, 0) == S_OK && provider->GetFieldDescriptorCount(&fields) == S_OK &&
              provider->GetCredentialAt(0, &tile) == S_OK;
    for (DWORD field = 0; ok && field < fields; ++field) {
        CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR* descriptor = nullptr;
        ok = provider->GetFieldDescriptorAt(field, &descriptor) == S_OK;
        CREDENTIAL_PROVIDER_FIELD_STATE state;
        CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive;
        ok = ok && tile->GetFieldState(field, &state, &interactive) == S_OK;
        if (descriptor != nullptr) {
            CoTaskMemFree(descriptor->pszLabel);
            CoTaskMemFree(descriptor);
        }
        PWSTR value = nullptr;
        if (tile->GetStringValue(field, &value) == S_OK) {
            CoTaskMemFree(value);
        }
    }
    const double elapsed = Now() - start;
    for (IUnknown* object :
         {static_cast<IUnknown*>(tile), static_cast<IUnknown*>(provider), static_cast<IUnknown*>(factory)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
    FreeLibrary(module);
    return ok ? elapsed : -1;
}

void OneSignIn() {
    WholeSignIn signIn = RunWholeSignIn(L"bench", kPassword);
    FreeSerialization(signIn.serialization);
}

}  // namespace

int main() {
    ScriptedAgentOptions forgetful;
    forgetful.recordRequests = false;
    ScriptedAgent agent(AgentBehaviour::ReplyWith(R"({"status":"OK","username":"bench"})"), forgetful);
    if (!agent.Start()) {
        std::printf("bench: the agent pipe is served by another process (%lu)\n", GetLastError());
        return 1;
    }

    CQMCredProvider* provider = new (std::nothrow) CQMCredProvider();
    provider->SetUsageScenario(CPUS_LOGON, 0);
    provider->GetCredentialAt(0, &g_tile);
    g_tile->SetStringValue(FieldUserName, L"bench");
    g_tile->SetStringValue(FieldPassword, kPassword);
    OneSignIn();  // warms up LSA, the pipe and the heap

    bool (*const operations[])() = {BareExchange, SerializeBenchTile, FloorSignIn,   ExchangeOnly,
                                    WaitOnly,     PackOnly,           LsaLookupOnly, ComputerNameOnly};
    const char* const names[] = {
        "bare pipe exchange",           "GetSerialization through the tile", "floor: its Win32 calls, bare",
        "  AgentAuthClient alone",      "    WaitNamedPipeW (exchange)",     "  KerberosLogonPacker alone",
        "    its LSA connect + lookup", "    its GetComputerNameW"};
    constexpr int kOperations = sizeof operations / sizeof operations[0];
    double medians[kOperations] = {};
    int failures[kOperations] = {};
    Interleaved(operations, medians, failures);
    std::printf("Round trips (median of %d rounds of %d calls, microseconds per call):\n", kRounds, kPerRound);
    for (int op = 0; op < kOperations; ++op) {
        std::printf("  %-36s %9.1f us  (%d failed)\n", names[op], medians[op], failures[op]);
    }
    std::printf("  ratio GetSerialization / bare exchange: %.3f (goal at most 1.05)\n", medians[1] / medians[0]);
    std::printf("floor ratio: %.2f\n", medians[1] / medians[2]);
    g_tile->Release();
    provider->Release();

    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    t_newCalls = 0;
    t_counting = true;
    OneSignIn();
    t_counting = false;
    std::printf("Allocations of one whole sign-in (provider, tile, typing, submit, release):\n");
    std::printf("  CoTaskMemAlloc: %zu (outstanding afterwards: %zu)\n", spy.AllocationsSinceMark(),
                spy.OutstandingSinceMark());
    std::printf("  operator new:   %zu\n", t_newCalls);
    agent.Stop();

    const std::wstring dll = WindowsPathOf(QM_BENCH_DLL);
    std::vector<double> loads;
    for (int i = 0; i < 20; ++i) {
        loads.push_back(LoadToServingTile(dll));
    }
    const bool loaded = *std::min_element(loads.begin(), loads.end()) >= 0;
    std::printf("DLL load to a tile serving its fields (LoadLibrary ... FreeLibrary, 20 times):\n");
    std::printf("  first %.1f us, median %.1f us%s\n", loads[0], Median(loads), loaded ? "" : " (FAILED)");

    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    GetFileAttributesExW(dll.c_str(), GetFileExInfoStandard, &attributes);
    std::printf("DLL size: %lu bytes\n", attributes.nFileSizeLow);
    return loaded && failures[0] == 0 && failures[1] == 0 && failures[2] == 0 ? 0 : 1;
}
