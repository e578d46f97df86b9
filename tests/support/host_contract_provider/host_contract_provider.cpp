// One static object is the class factory and the provider, and a static array holds its tiles:
// none is ever freed, so reference counts do not matter, as in the hostile provider.
#include "host_contract_provider.h"

#include <windows.h>
#include <initguid.h>

#include <credentialprovider.h>
#include <propkey.h>

#include <cstring>
#include <string>

namespace {

std::wstring g_mode;

bool Mode(const wchar_t* name) { return g_mode == name; }

// What the user-array mode's tiles need of the provider's missing user array, in crash mode:
// a pointer nobody set, read as if the array had arrived.
const DWORD* volatile g_usersNeverReceived = nullptr;

// Wine's code for a call to a function it only stubs, with its two name parameters.
constexpr DWORD kWineStubException = 0x80000100;

// The user-name field comes last, so that the modes without one simply count one field fewer.
enum Field : DWORD { FieldTitle, FieldPassword, FieldSubmit, FieldStatus, FieldUserName, FieldCount };

struct FieldDescription {
    CREDENTIAL_PROVIDER_FIELD_TYPE type;
    PCWSTR label;
    const GUID* tag;
};

const FieldDescription kFields[FieldCount] = {
    {CPFT_LARGE_TEXT, L"User", nullptr},
    {CPFT_PASSWORD_TEXT, L"Password", &CPFG_LOGON_PASSWORD},
    {CPFT_SUBMIT_BUTTON, L"Sign in", nullptr},
    {CPFT_SMALL_TEXT, L"Status", nullptr},
    {CPFT_EDIT_TEXT, L"User name", &CPFG_LOGON_USERNAME},
};

LPWSTR CoTaskCopy(PCWSTR text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    auto copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
    }
    return copy;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameW(name, &size) ? name : L"";
}

// KERB_INTERACTIVE_LOGON, x86-64: a 64-byte header, each UNICODE_STRING's Buffer an offset.
HRESULT PackLogon(const std::wstring& user, const std::wstring& password,
                  CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* serialization) {
    const std::wstring domain = ComputerName();
    const size_t size = 64 + (domain.size() + user.size() + password.size()) * sizeof(wchar_t);
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memset(block, 0, size);
    block[0] = 2;  // KerbInteractiveLogon
    size_t offset = 64;
    size_t header = 8;
    for (const std::wstring* text : {&domain, &user, &password}) {
        const USHORT bytes = static_cast<USHORT>(text->size() * sizeof(wchar_t));
        const ULONG64 at = offset;
        std::memcpy(block + header, &bytes, 2);
        std::memcpy(block + header + 2, &bytes, 2);
        std::memcpy(block + header + 8, &at, 8);
        std::memcpy(block + offset, text->data(), bytes);
        offset += bytes;
        header += 16;
    }
    serialization->ulAuthenticationPackage = 0;
    CLSIDFromString(QM_HOST_CONTRACT_PROVIDER_CLSID, &serialization->clsidCredentialProvider);
    serialization->rgbSerialization = block;
    serialization->cbSerialization = static_cast<ULONG>(size);
    return S_OK;
}

class Tile final : public ICredentialProviderCredential2, public ICredentialProviderCredentialWithFieldOptions {
public:
    void Show(const std::wstring& user, const std::wstring& displayName, const std::wstring& sid) {
        m_user = user;
        m_displayName = displayName;
        m_sid = sid;
    }

    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        const bool modern = !Mode(L"tile-per-user");
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ICredentialProviderCredential)) {
            *ppv = static_cast<ICredentialProviderCredential*>(this);
        } else if (riid == __uuidof(ICredentialProviderCredential2) && Mode(L"user-array")) {
            *ppv = static_cast<ICredentialProviderCredential2*>(this);
        } else if (riid == __uuidof(ICredentialProviderCredentialWithFieldOptions) && modern) {
            *ppv = static_cast<ICredentialProviderCredentialWithFieldOptions*>(this);
        } else {
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }

    // The sink is kept for the second interface only, as a tile written for Windows 8 keeps it:
    // null when the host does not offer it.
    IFACEMETHODIMP Advise(ICredentialProviderCredentialEvents* events) override {
        m_events2 = nullptr;
        void* events2 = nullptr;
        if (events != nullptr && SUCCEEDED(events->QueryInterface(__uuidof(ICredentialProviderCredentialEvents2),
                                                                   &events2))) {
            m_events2 = static_cast<ICredentialProviderCredentialEvents2*>(events2);
        }
        return S_OK;
    }
    IFACEMETHODIMP UnAdvise() override {
        if (m_events2 != nullptr) {
            m_events2->Release();
        }
        m_events2 = nullptr;
        return S_OK;
    }
    IFACEMETHODIMP SetSelected(BOOL* autoLogon) override {
        *autoLogon = FALSE;
        if (Mode(L"tile-per-user")) {
            return S_OK;
        }
        m_status = L"Selected: updated in one batch";
        m_events2->BeginFieldUpdates();
        m_events2->SetFieldString(this, FieldStatus, m_status.c_str());
        m_events2->SetFieldOptions(this, FieldPassword, CPCFO_ENABLE_PASSWORD_REVEAL);
        m_events2->EndFieldUpdates();
        return S_OK;
    }
    IFACEMETHODIMP SetDeselected() override { return S_OK; }
    IFACEMETHODIMP GetFieldState(DWORD field, CREDENTIAL_PROVIDER_FIELD_STATE* state,
                                 CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE* interactive) override {
        *state = field == FieldTitle ? CPFS_DISPLAY_IN_BOTH : CPFS_DISPLAY_IN_SELECTED_TILE;
        *interactive = field == FieldPassword ? CPFIS_FOCUSED : CPFIS_NONE;
        return S_OK;
    }
    IFACEMETHODIMP GetStringValue(DWORD field, LPWSTR* value) override {
        const std::wstring text = field == FieldTitle      ? m_displayName
                                  : field == FieldUserName ? m_typedUser
                                  : field == FieldStatus   ? m_status
                                                           : L"";
        *value = CoTaskCopy(text.c_str());
        return *value != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    IFACEMETHODIMP GetBitmapValue(DWORD, HBITMAP*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetCheckboxValue(DWORD, BOOL*, LPWSTR*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetSubmitButtonValue(DWORD, DWORD* adjacentTo) override {
        *adjacentTo = FieldPassword;
        return S_OK;
    }
    IFACEMETHODIMP GetComboBoxValueCount(DWORD, DWORD*, DWORD*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetComboBoxValueAt(DWORD, DWORD, LPWSTR*) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetStringValue(DWORD field, LPCWSTR text) override {
        (field == FieldPassword ? m_password : m_typedUser) = text != nullptr ? text : L"";
        return S_OK;
    }
    IFACEMETHODIMP SetCheckboxValue(DWORD, BOOL) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetComboBoxSelectedValue(DWORD, DWORD) override { return E_NOTIMPL; }
    IFACEMETHODIMP CommandLinkClicked(DWORD) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE* response,
                                    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* serialization, LPWSTR* statusText,
                                    CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        *statusText = nullptr;
        *icon = CPSI_NONE;
        *response = CPGSR_RETURN_CREDENTIAL_FINISHED;
        return PackLogon(Mode(L"events2") ? m_typedUser : m_user, m_password, serialization);
    }
    IFACEMETHODIMP ReportResult(NTSTATUS, NTSTATUS, LPWSTR* statusText,
                                CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        *statusText = nullptr;
        *icon = CPSI_NONE;
        return S_OK;
    }

    // ICredentialProviderCredential2: the user this tile belongs to.
    IFACEMETHODIMP GetUserSid(LPWSTR* sid) override {
        *sid = CoTaskCopy(m_sid.c_str());
        return *sid != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    // ICredentialProviderCredentialWithFieldOptions
    IFACEMETHODIMP GetFieldOptions(DWORD field, CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS* options) override {
        *options = field == FieldPassword   ? CPCFO_ENABLE_PASSWORD_REVEAL
                   : field == FieldUserName ? CPCFO_IS_EMAIL_ADDRESS
                                            : CPCFO_NONE;
        return S_OK;
    }

private:
    ICredentialProviderCredentialEvents2* m_events2 = nullptr;
    std::wstring m_user;
    std::wstring m_displayName = L"Type a user name";
    std::wstring m_sid;
    std::wstring m_typedUser;
    std::wstring m_password;
    std::wstring m_status;
};

constexpr DWORD kMaxTiles = 8;
Tile g_tiles[kMaxTiles];
DWORD g_tileCount = 0;

std::wstring UserString(ICredentialProviderUser* user, REFPROPERTYKEY key) {
    LPWSTR text = nullptr;
    if (FAILED(user->GetStringValue(key, &text)) || text == nullptr) {
        return {};
    }
    std::wstring copy = text;
    CoTaskMemFree(text);
    return copy;
}

class Provider final : public IClassFactory, public ICredentialProvider, public ICredentialProviderSetUserArray {
public:
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ICredentialProvider)) {
            *ppv = static_cast<ICredentialProvider*>(this);
        } else if (riid == __uuidof(IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
        } else if (riid == __uuidof(ICredentialProviderSetUserArray) && Mode(L"user-array")) {
            *ppv = static_cast<ICredentialProviderSetUserArray*>(this);
        } else {
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
    IFACEMETHODIMP SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD) override {
        const bool classicScenario = scenario == CPUS_LOGON || scenario == CPUS_UNLOCK_WORKSTATION;
        if (Mode(L"tile-per-user") && !classicScenario) {
            return E_NOTIMPL;
        }
        g_tileCount = Mode(L"events2") || Mode(L"crash") || Mode(L"stub-crash") ? 1 : 0;
        if (Mode(L"tile-per-user")) {
            g_tiles[0].Show(L"alice", L"alice", L"");
            g_tiles[1].Show(L"bob", L"bob", L"");
            g_tileCount = 2;
        }
        return S_OK;
    }
    IFACEMETHODIMP SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION*) override { return E_NOTIMPL; }
    IFACEMETHODIMP Advise(ICredentialProviderEvents*, UINT_PTR) override { return S_OK; }
    IFACEMETHODIMP UnAdvise() override { return S_OK; }
    // Only the events2 mode has a user name to type; the others show a user of their own.
    IFACEMETHODIMP GetFieldDescriptorCount(DWORD* count) override {
        *count = Mode(L"events2") ? FieldCount : FieldUserName;
        return S_OK;
    }
    IFACEMETHODIMP GetFieldDescriptorAt(DWORD index, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** out) override {
        *out = nullptr;
        DWORD count = 0;
        GetFieldDescriptorCount(&count);
        if (index >= count) {
            return E_INVALIDARG;
        }
        auto* descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR*>(CoTaskMemAlloc(sizeof(**out)));
        if (descriptor == nullptr) {
            return E_OUTOFMEMORY;
        }
        const FieldDescription& description = kFields[index];
        *descriptor = {index, description.type, CoTaskCopy(description.label),
                       description.tag != nullptr ? *description.tag : GUID{}};
        *out = descriptor;
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialCount(DWORD* count, DWORD* defaultTile, BOOL* autoLogon) override {
        *count = g_tileCount;
        *defaultTile = CREDENTIAL_PROVIDER_NO_DEFAULT;
        *autoLogon = FALSE;
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialAt(DWORD index, ICredentialProviderCredential** out) override {
        *out = nullptr;
        if (Mode(L"crash")) {
            return g_usersNeverReceived[index] != 0 ? E_FAIL : E_INVALIDARG;
        }
        if (Mode(L"stub-crash")) {
            const ULONG_PTR names[] = {reinterpret_cast<ULONG_PTR>("authui"),
                                       reinterpret_cast<ULONG_PTR>("CreateUserArray")};
            RaiseException(kWineStubException, EXCEPTION_NONCONTINUABLE, 2, names);
        }
        if (index >= g_tileCount) {
            return E_INVALIDARG;
        }
        *out = static_cast<ICredentialProviderCredential*>(&g_tiles[index]);
        return S_OK;
    }

    // ICredentialProviderSetUserArray: the tiles are the users handed over, as many as fit.
    IFACEMETHODIMP SetUserArray(ICredentialProviderUserArray* users) override {
        g_tileCount = 0;
        DWORD count = 0;
        if (users == nullptr || FAILED(users->GetCount(&count))) {
            return S_OK;
        }
        for (DWORD index = 0; index < count && g_tileCount < kMaxTiles; ++index) {
            ICredentialProviderUser* user = nullptr;
            if (FAILED(users->GetAt(index, &user)) || user == nullptr) {
                continue;
            }
            LPWSTR sid = nullptr;
            if (SUCCEEDED(user->GetSid(&sid)) && sid != nullptr) {
                g_tiles[g_tileCount++].Show(UserString(user, PKEY_Identity_UserName),
                                            UserString(user, PKEY_Identity_DisplayName), sid);
                CoTaskMemFree(sid);
            }
            user->Release();
        }
        return S_OK;
    }
};

Provider g_provider;

}  // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID riid, void** ppv) {
    wchar_t mode[64] = L"";
    GetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, mode, ARRAYSIZE(mode));
    g_mode = mode;
    return static_cast<IClassFactory*>(&g_provider)->QueryInterface(riid, ppv);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
