// One static object is the class factory, the provider and its one tile: it is never freed, so
// reference counts do not matter, and each method breaks only what its mode says.
#include "hostile_provider.h"

#include <windows.h>
#include <initguid.h>

#include <credentialprovider.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// A pointer that crashes whoever reads, writes or frees it.
void* const kWild = reinterpret_cast<void*>(0x10);

const wchar_t kControls[] = L"A\x1b[31mred\nProvider failure: forged\r\x85\x9b\x2028\x2029\x202e\x2066\x061c\x200f\x7f";

std::wstring g_mode;

bool Mode(const wchar_t* name) { return g_mode == name; }

PCWSTR Text(PCWSTR plain) { return Mode(L"control-text") ? kControls : plain; }

// The host's event sinks, from the last Advise on. The provider and its tile are one object,
// so one UnAdvise serves both: it lets nothing go, as a careless provider keeps its sinks.
ICredentialProviderEvents* g_providerEvents = nullptr;
ICredentialProviderCredentialEvents* g_tileEvents = nullptr;

template <typename Sink>
void Keep(Sink*& kept, Sink* sink) {
    if (sink != nullptr) {
        sink->AddRef();
    }
    if (kept != nullptr) {
        kept->Release();
    }
    kept = sink;
}

// reread-fails: set once typing has raised CredentialsChanged.
bool g_rereading = false;
// thread-events: what field 0 shows, set from the provider's own thread; 0 before it starts,
// -1 once it has finished.
std::atomic<int> g_threadEvent{0};
constexpr int kThreadEvents = 300;

std::wstring ThreadText() {
    const int event = g_threadEvent.load();
    return event < 0 ? L"set from another thread" : L"event " + std::to_wstring(event);
}

struct ThreadSinks {
    ICredentialProviderCredential* tile;
    ICredentialProviderCredentialEvents* tileEvents;
    ICredentialProviderEvents* providerEvents;
};

// Raises tile events and CredentialsChanged from a thread of the provider's own, while the
// host's thread reads the tiles again and again (and advises new sinks); it uses the sinks it
// was given, whose references it never lets go.
DWORD WINAPI RaiseEventsFromAnotherThread(void* parameter) {
    const ThreadSinks sinks = *static_cast<ThreadSinks*>(parameter);
    delete static_cast<ThreadSinks*>(parameter);
    for (int event = 1; event <= kThreadEvents; ++event) {
        g_threadEvent.store(event);
        sinks.tileEvents->SetFieldString(sinks.tile, 0, ThreadText().c_str());
        if (event % 30 == 0) {
            sinks.providerEvents->CredentialsChanged(0);
        }
    }
    Sleep(1000);
    g_threadEvent.store(-1);
    sinks.tileEvents->SetFieldString(sinks.tile, 0, ThreadText().c_str());
    return 0;
}

// Never returns: the sinks it was given are called until the process ends, whatever the host
// did with them meanwhile (UnAdvise, its window closed, its objects gone).
DWORD WINAPI RaiseEventsThroughTheClose(void* parameter) {
    const ThreadSinks sinks = *static_cast<ThreadSinks*>(parameter);
    delete static_cast<ThreadSinks*>(parameter);
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&RaiseEventsThroughTheClose), &self);
    for (unsigned event = 1;; ++event) {
        sinks.tileEvents->SetFieldString(sinks.tile, 0, (L"late event " + std::to_wstring(event)).c_str());
        if (event % 500 == 0) {
            sinks.providerEvents->CredentialsChanged(0);
        }
        Sleep(1);
    }
}

LPWSTR CoTaskCopy(PCWSTR text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
    }
    return copy;
}

// The value getters' common path: a copy, null, or a wild pointer behind a failure.
HRESULT HandOut(PCWSTR text, LPWSTR* out) {
    if (Mode(L"garbage-on-failure")) {
        *out = static_cast<LPWSTR>(kWild);
        return E_FAIL;
    }
    *out = Mode(L"null-value") ? nullptr : CoTaskCopy(Text(text));
    return S_OK;
}

const CREDENTIAL_PROVIDER_FIELD_TYPE kFieldTypes[] = {CPFT_LARGE_TEXT, CPFT_EDIT_TEXT, CPFT_PASSWORD_TEXT,
                                                      CPFT_CHECKBOX, CPFT_COMBOBOX};

// KERB_INTERACTIVE_UNLOCK_LOGON, x86-64: a 64-byte header, string Buffers as offsets.
void PutString(BYTE* block, size_t header, size_t& offset, PCWSTR text) {
    const USHORT bytes = static_cast<USHORT>(wcslen(text) * sizeof(wchar_t));
    const ULONG64 at = offset;
    std::memcpy(block + header, &bytes, 2);
    std::memcpy(block + header + 2, &bytes, 2);
    std::memcpy(block + header + 8, &at, 8);
    std::memcpy(block + offset, text, bytes);
    offset += bytes;
}

HRESULT PackLogon(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* serialization) {
    static BYTE foreign[256];
    const PCWSTR domain = Text(L"HOSTILE");
    const PCWSTR user = Text(L"user");
    const size_t size = 64 + (wcslen(domain) + wcslen(user) + 2) * sizeof(wchar_t);
    BYTE* block = Mode(L"block-foreign") ? foreign : static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memset(block, 0, size);
    block[0] = 2;  // KerbInteractiveLogon
    size_t offset = 64;
    PutString(block, 8, offset, domain);
    PutString(block, 24, offset, user);
    PutString(block, 40, offset, L"pw");
    if (Mode(L"block-overflow")) {
        const ULONG64 wrapping = ~0ull - 1;
        std::memcpy(block + 24 + 8, &wrapping, 8);
    }
    serialization->rgbSerialization = block;
    serialization->cbSerialization = static_cast<ULONG>(size + (Mode(L"block-oversize") ? 4096 : 0));
    return S_OK;
}

class HostileProvider final : public IClassFactory, public ICredentialProvider, public ICredentialProviderCredential {
public:
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ICredentialProvider)) {
            *ppv = static_cast<ICredentialProvider*>(this);
        } else if (riid == __uuidof(IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
        } else if (riid == __uuidof(ICredentialProviderCredential)) {
            *ppv = static_cast<ICredentialProviderCredential*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }

    // IClassFactory
    IFACEMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** ppv) override { return QueryInterface(riid, ppv); }
    IFACEMETHODIMP LockServer(BOOL) override { return S_OK; }

    // ICredentialProvider
    IFACEMETHODIMP SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO, DWORD) override { return S_OK; }
    IFACEMETHODIMP SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION*) override { return E_NOTIMPL; }
    IFACEMETHODIMP Advise(ICredentialProviderEvents* events, UINT_PTR) override {
        Keep(g_providerEvents, events);
        return S_OK;
    }
    IFACEMETHODIMP UnAdvise() override { return S_OK; }
    IFACEMETHODIMP GetFieldDescriptorCount(DWORD* count) override {
        *count = Mode(L"many-fields") ? 1u << 20 : ARRAYSIZE(kFieldTypes);
        return S_OK;
    }
    IFACEMETHODIMP GetFieldDescriptorAt(DWORD index, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** out) override {
        *out = nullptr;
        if (index >= ARRAYSIZE(kFieldTypes)) {
            return E_INVALIDARG;
        }
        if (Mode(L"null-descriptor")) {
            return S_OK;
        }
        auto descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR*>(CoTaskMemAlloc(sizeof(**out)));
        if (descriptor == nullptr) {
            return E_OUTOFMEMORY;
        }
        *descriptor = {index, kFieldTypes[index], Mode(L"null-label") ? nullptr : CoTaskCopy(Text(L"Label")), GUID{}};
        *out = descriptor;
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialCount(DWORD* count, DWORD* defaultTile, BOOL* autoLogon) override {
        *count = Mode(L"many-tiles") ? 1u << 20 : Mode(L"garbage-on-failure") ? 2 : Mode(L"reread-fails") ? 3 : 1;
        *defaultTile = Mode(L"reread-fails") ? 2 : 0;
        *autoLogon = FALSE;
        if (Mode(L"changes-loop") && g_providerEvents != nullptr) {
            g_providerEvents->CredentialsChanged(0);
        }
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialAt(DWORD index, ICredentialProviderCredential** out) override {
        if (Mode(L"reread-fails") && index == 1 && g_rereading) {
            Sleep(2000);
            *out = nullptr;
            return E_FAIL;
        }
        if (Mode(L"garbage-on-failure") && index == 1) {
            *out = static_cast<ICredentialProviderCredential*>(kWild);
            return E_FAIL;
        }
        *out = Mode(L"null-tile") ? nullptr : static_cast<ICredentialProviderCredential*>(this);
        return S_OK;
    }

    // ICredentialProviderCredential
    IFACEMETHODIMP Advise(ICredentialProviderCredentialEvents* events) override {
        Keep(g_tileEvents, events);
        return S_OK;
    }
    IFACEMETHODIMP SetSelected(BOOL* autoLogon) override {
        *autoLogon = FALSE;
        if (Mode(L"thread-events") && g_threadEvent.load() == 0 && g_tileEvents != nullptr &&
            g_providerEvents != nullptr) {
            g_threadEvent.store(1);
            g_tileEvents->AddRef();
            g_providerEvents->AddRef();
            CloseHandle(CreateThread(nullptr, 0, RaiseEventsFromAnotherThread,
                                     new ThreadSinks{this, g_tileEvents, g_providerEvents}, 0, nullptr));
        }
        if (Mode(L"late-events") && g_threadEvent.exchange(1) == 0 && g_tileEvents != nullptr &&
            g_providerEvents != nullptr) {
            g_tileEvents->AddRef();
            g_providerEvents->AddRef();
            CloseHandle(CreateThread(nullptr, 0, RaiseEventsThroughTheClose,
                                     new ThreadSinks{this, g_tileEvents, g_providerEvents}, 0, nullptr));
        }
        return S_OK;
    }
    IFACEMETHODIMP SetDeselected() override { return S_OK; }
    IFACEMETHODIMP GetFieldState(DWORD, CREDENTIAL_PROVIDER_FIELD_STATE* state,
                                 CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE* interactive) override {
        *state = CPFS_DISPLAY_IN_BOTH;
        *interactive = CPFIS_NONE;
        return S_OK;
    }
    IFACEMETHODIMP GetStringValue(DWORD field, LPWSTR* value) override {
        return HandOut(Mode(L"thread-events") && field == 0 ? ThreadText().c_str() : L"value", value);
    }
    IFACEMETHODIMP GetBitmapValue(DWORD, HBITMAP*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetCheckboxValue(DWORD, BOOL* checked, LPWSTR* label) override {
        *checked = TRUE;
        return HandOut(L"check", label);
    }
    IFACEMETHODIMP GetSubmitButtonValue(DWORD, DWORD*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetComboBoxValueCount(DWORD, DWORD* count, DWORD* selected) override {
        *count = 2;
        *selected = 0;
        return S_OK;
    }
    IFACEMETHODIMP GetComboBoxValueAt(DWORD, DWORD, LPWSTR* item) override { return HandOut(L"item", item); }
    IFACEMETHODIMP SetStringValue(DWORD, LPCWSTR) override {
        if (Mode(L"reread-fails") && !g_rereading && g_providerEvents != nullptr) {
            g_rereading = true;
            g_providerEvents->CredentialsChanged(0);
        }
        return S_OK;
    }
    IFACEMETHODIMP SetCheckboxValue(DWORD, BOOL) override {
        for (int item = 0; Mode(L"combo-flood") && g_tileEvents != nullptr && item < 2000; ++item) {
            g_tileEvents->AppendFieldComboBoxItem(this, 4, (L"item " + std::to_wstring(item)).c_str());
        }
        return S_OK;
    }
    IFACEMETHODIMP SetComboBoxSelectedValue(DWORD, DWORD) override { return S_OK; }
    IFACEMETHODIMP CommandLinkClicked(DWORD) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE* response,
                                    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* serialization, LPWSTR* statusText,
                                    CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        if (Mode(L"hang-serialization")) {
            Sleep(INFINITE);
        }
        *icon = CPSI_ERROR;
        *statusText = nullptr;
        if (Mode(L"garbage-on-failure")) {
            *statusText = static_cast<LPWSTR>(kWild);
            serialization->rgbSerialization = static_cast<BYTE*>(kWild);
            serialization->cbSerialization = 1u << 30;
            *response = CPGSR_RETURN_CREDENTIAL_FINISHED;
            return E_FAIL;
        }
        if (Mode(L"control-refusal")) {
            *response = CPGSR_NO_CREDENTIAL_FINISHED;
            *statusText = CoTaskCopy(kControls);
            return S_OK;
        }
        *response = CPGSR_RETURN_CREDENTIAL_FINISHED;
        *icon = CPSI_SUCCESS;
        serialization->ulAuthenticationPackage = 0;
        CLSIDFromString(QM_HOSTILE_PROVIDER_CLSID, &serialization->clsidCredentialProvider);
        serialization->rgbSerialization = nullptr;
        serialization->cbSerialization = 0;
        return Mode(L"null-value") ? S_OK : PackLogon(serialization);
    }
    IFACEMETHODIMP ReportResult(NTSTATUS, NTSTATUS, LPWSTR* statusText,
                                CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        *icon = CPSI_NONE;
        *statusText = Mode(L"control-text") ? CoTaskCopy(kControls) : nullptr;
        return S_OK;
    }
};

HostileProvider g_provider;

}  // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID riid, void** ppv) {
    wchar_t mode[64] = L"";
    GetEnvironmentVariableW(QM_HOSTILE_PROVIDER_MODE_VARIABLE, mode, ARRAYSIZE(mode));
    g_mode = mode;
    return static_cast<IClassFactory*>(&g_provider)->QueryInterface(riid, ppv);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
