#include "local_user_array.h"

#include "base/co_task_str_dup.h"
#include "base/com_object.h"
#include "base/com_ptr.h"
#include "base/unique_handle.h"
#include "token_user.h"

#include <lm.h>

#include <initguid.h>
#include <propkey.h>

namespace {

std::wstring ProviderIdText() {
    wchar_t text[40] = {};
    StringFromGUID2(Identity_LocalUserProvider, text, ARRAYSIZE(text));
    return text;
}

// ICredentialProviderUser over one account; immutable, so any thread may call it.
class LocalUser final : public ComObject<LocalUser, ICredentialProviderUser, NoModuleCount> {
public:
    explicit LocalUser(LocalAccount account) noexcept : m_account(std::move(account)) {}

    // The provider asks for the user's SID, as a string it frees with CoTaskMemFree.
    IFACEMETHODIMP GetSid(LPWSTR* sid) override {
        return sid == nullptr ? E_POINTER : CoTaskStrDup(m_account.sid.c_str(), sid);
    }
    // Local accounts belong to the local account provider.
    IFACEMETHODIMP GetProviderID(GUID* providerID) override {
        if (providerID == nullptr) {
            return E_POINTER;
        }
        *providerID = Identity_LocalUserProvider;
        return S_OK;
    }
    IFACEMETHODIMP GetStringValue(REFPROPERTYKEY key, LPWSTR* stringValue) override {
        if (stringValue == nullptr) {
            return E_POINTER;
        }
        *stringValue = nullptr;
        const std::wstring* value = ValueOf(key);
        return value != nullptr ? CoTaskStrDup(value->c_str(), stringValue) : E_INVALIDARG;
    }
    // The same strings as a PROPVARIANT (VT_LPWSTR), which the caller clears.
    IFACEMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        if (value == nullptr) {
            return E_POINTER;
        }
        PropVariantInit(value);
        LPWSTR text = nullptr;
        const HRESULT hr = GetStringValue(key, &text);
        if (FAILED(hr)) {
            return hr;
        }
        value->vt = VT_LPWSTR;
        value->pwszVal = text;
        return S_OK;
    }

private:
    const std::wstring* ValueOf(REFPROPERTYKEY key) const noexcept {
        if (IsEqualPropertyKey(key, PKEY_Identity_UserName)) {
            return &m_account.userName;
        }
        if (IsEqualPropertyKey(key, PKEY_Identity_DisplayName)) {
            return &m_account.displayName;
        }
        if (IsEqualPropertyKey(key, PKEY_Identity_LogonStatusString)) {
            return &m_account.logonStatus;
        }
        if (IsEqualPropertyKey(key, PKEY_Identity_PrimarySid)) {
            return &m_account.sid;
        }
        if (IsEqualPropertyKey(key, PKEY_Identity_QualifiedUserName)) {
            return &m_account.qualifiedName;
        }
        if (IsEqualPropertyKey(key, PKEY_Identity_ProviderID)) {
            return &m_providerId;
        }
        return nullptr;
    }

    const LocalAccount m_account;
    const std::wstring m_providerId = ProviderIdText();
};

class LocalUserArray final : public ComObject<LocalUserArray, ICredentialProviderUserArray, NoModuleCount> {
public:
    LocalUserArray() noexcept = default;

    bool Add(const LocalAccount& account) noexcept {
        try {
            ComPtr<ICredentialProviderUser> user;
            user.Attach(new (std::nothrow) LocalUser(account));
            if (!user) {
                return false;
            }
            m_users.push_back(std::move(user));
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    // Every user here is a local account: filtering to the local account provider keeps them
    // all, filtering to any other provider (a Microsoft account's) leaves none.
    IFACEMETHODIMP SetProviderFilter(REFGUID guidProviderToFilterTo) override {
        m_filteredOut = !IsEqualGUID(guidProviderToFilterTo, Identity_LocalUserProvider);
        return S_OK;
    }
    IFACEMETHODIMP GetAccountOptions(CREDENTIAL_PROVIDER_ACCOUNT_OPTIONS* options) override {
        if (options == nullptr) {
            return E_POINTER;
        }
        *options = m_users.empty() ? CPAO_EMPTY_LOCAL : CPAO_NONE;
        return S_OK;
    }
    IFACEMETHODIMP GetCount(DWORD* userCount) override {
        if (userCount == nullptr) {
            return E_POINTER;
        }
        *userCount = Count();
        return S_OK;
    }
    IFACEMETHODIMP GetAt(DWORD userIndex, ICredentialProviderUser** user) override {
        if (user == nullptr) {
            return E_POINTER;
        }
        *user = nullptr;
        if (userIndex >= Count()) {
            return E_INVALIDARG;
        }
        *user = m_users[userIndex].Get();
        (*user)->AddRef();
        return S_OK;
    }

private:
    DWORD Count() const noexcept { return m_filteredOut ? 0 : static_cast<DWORD>(m_users.size()); }

    std::vector<ComPtr<ICredentialProviderUser>> m_users;
    bool m_filteredOut = false;
};

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool IsChosen(const UserArrayChoice& choice, const std::wstring& name) {
    if (!choice.limited) {
        return true;
    }
    for (const std::wstring& chosen : choice.names) {
        if (SameName(chosen, name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::wstring SidTextOfAccount(const std::wstring& userName) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    wchar_t domain[256];
    DWORD domainSize = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountNameW(nullptr, userName.c_str(), sid, &sidSize, domain, &domainSize, &use)) {
        return {};
    }
    return SidString(sid);
}

namespace {

void FreeNetApiBuffer(LPBYTE buffer) noexcept { NetApiBufferFree(buffer); }
// A block the network management calls hand out, freed on every path.
using NetApiBuffer = UniqueHandle<LPBYTE, &FreeNetApiBuffer>;

std::wstring FullNameOf(const std::wstring& userName) {
    NetApiBuffer buffer;
    if (NetUserGetInfo(nullptr, userName.c_str(), 10, buffer.Receive()) != NERR_Success || !buffer) {
        return userName;
    }
    const auto* info = reinterpret_cast<const USER_INFO_10*>(buffer.Get());
    std::wstring fullName = info->usri10_full_name != nullptr ? info->usri10_full_name : L"";
    return fullName.empty() ? userName : fullName;
}

// The sign-in screen lists no disabled account (Guest, DefaultAccount on Windows). An account
// whose flags cannot be read counts as enabled.
bool IsDisabled(const std::wstring& userName) {
    NetApiBuffer buffer;
    if (NetUserGetInfo(nullptr, userName.c_str(), 1, buffer.Receive()) != NERR_Success || !buffer) {
        return false;
    }
    return (reinterpret_cast<const USER_INFO_1*>(buffer.Get())->usri1_flags & UF_ACCOUNTDISABLE) != 0;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = ARRAYSIZE(name);
    return GetComputerNameW(name, &size) ? name : L"";
}

std::wstring RunningUserName() {
    wchar_t name[257] = {};
    DWORD size = ARRAYSIZE(name);
    return GetUserNameW(name, &size) ? name : L"";
}

}  // namespace

std::vector<LocalAccount> ReadLocalAccounts(const UserArrayChoice& choice) {
    std::vector<LocalAccount> accounts;
    const std::wstring computer = ComputerName();
    const std::wstring running = RunningUserName();
    DWORD resume = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        NetApiBuffer buffer;
        DWORD read = 0;
        DWORD total = 0;
        status = NetUserEnum(nullptr, 0, FILTER_NORMAL_ACCOUNT, buffer.Receive(), MAX_PREFERRED_LENGTH, &read, &total,
                             &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            break;
        }
        const auto* users = reinterpret_cast<const USER_INFO_0*>(buffer.Get());
        for (DWORD index = 0; users != nullptr && index < read; ++index) {
            const std::wstring name = users[index].usri0_name != nullptr ? users[index].usri0_name : L"";
            LocalAccount account{name, FullNameOf(name), SidTextOfAccount(name), computer + L"\\" + name,
                                 SameName(name, running) ? L"Signed in" : L""};
            if (!name.empty() && !account.sid.empty() && IsChosen(choice, name) && !IsDisabled(name)) {
                accounts.push_back(std::move(account));
            }
        }
    }
    return accounts;
}

ICredentialProviderUserArray* CreateLocalUserArray(const std::vector<LocalAccount>& accounts) noexcept {
    ComPtr<LocalUserArray> array;
    array.Attach(new (std::nothrow) LocalUserArray());
    if (!array) {
        return nullptr;
    }
    for (const LocalAccount& account : accounts) {
        if (!array->Add(account)) {
            return nullptr;
        }
    }
    return array.Detach();
}
