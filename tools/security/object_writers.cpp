#include "object_writers.h"

#include "access_grants.h"
#include "account_text.h"
#include "base/local_memory.h"
#include "base/unique_handle.h"
#include "token_user.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

namespace {

constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsSidText(PSID account, const wchar_t* text) {
    PSID known = nullptr;
    if (!ConvertStringSidToSidW(text, &known)) {
        return false;
    }
    const LocalMemory owned(known);
    return EqualSid(account, known) != FALSE;
}

bool IsAlwaysTrusted(PSID account) {
    return IsWellKnownSid(account, WinLocalSystemSid) || IsWellKnownSid(account, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(account, WinCreatorOwnerSid) || IsWellKnownSid(account, WinCreatorGroupSid) ||
           IsSidText(account, kTrustedInstallerSid);
}

}  // namespace

void TrustedWriters::Add(PSID account) {
    const BYTE* bytes = static_cast<const BYTE*>(account);
    m_added.emplace_back(bytes, bytes + GetLengthSid(account));
}

void TrustedWriters::AddRunningAdministrator() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !CheckTokenMembership(nullptr, administrators, &member) || !member) {
        return;
    }
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return;
    }
    std::vector<BYTE> buffer;
    const PSID user = TokenUserSid(token.Get(), buffer);
    if (user != nullptr) {
        Add(user);
    }
}

bool TrustedWriters::Trusts(PSID account) const noexcept {
    if (account == nullptr || !IsValidSid(account)) {
        return false;
    }
    if (IsAlwaysTrusted(account)) {
        return true;
    }
    return std::any_of(m_added.begin(), m_added.end(), [account](const std::vector<BYTE>& added) {
        return EqualSid(account, const_cast<BYTE*>(added.data())) != FALSE;
    });
}

std::vector<std::string> UntrustedWritersOf(PSECURITY_DESCRIPTOR descriptor, const TrustedWriters& trusted) {
    std::vector<std::string> writers;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr && !trusted.Trusts(owner)) {
        writers.push_back("owner " + AccountText(owner));
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return writers;
    }
    const auto isTrusted = [&trusted](PSID account) {
        return trusted.Trusts(account);
    };
    for (std::string& grantee : UntrustedGrantees(present ? dacl : nullptr, kObjectChangeRights, isTrusted)) {
        writers.push_back(std::move(grantee));
    }
    return writers;
}

DWORD AddUntrustedWritersOf(const std::wstring& path, const TrustedWriters& trusted,
                            std::vector<std::string>& writers) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD error =
        GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &raw);
    const LocalMemory descriptor(raw);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    for (std::string& writer : UntrustedWritersOf(raw, trusted)) {
        if (std::find(writers.begin(), writers.end(), writer) == writers.end()) {
            writers.push_back(std::move(writer));
        }
    }
    return ERROR_SUCCESS;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return L".";
    }
    const bool root = slash == 0 || (slash == 2 && path[1] == L':');
    return path.substr(0, root ? slash + 1 : slash);
}
