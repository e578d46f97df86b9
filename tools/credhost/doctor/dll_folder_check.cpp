#include "dll_folder_check.h"

#include "access_grants.h"
#include "account_text.h"
#include "base/unique_handle.h"
#include "base/local_memory.h"
#include "display_escaping.h"
#include "loader_search.h"
#include "win32_error_name.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

namespace {

// Writing into a folder or a file (add file, add subfolder, write or append data), deleting
// its children or itself, and rewriting its DACL or owner.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                      WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsSidText(PSID account, const wchar_t* text) {
    PSID known = nullptr;
    if (!ConvertStringSidToSidW(text, &known)) {
        return false;
    }
    const LocalMemory owned(known);
    return EqualSid(account, known) != FALSE;
}

bool IsTrustedWriter(PSID account, PSID runningAdministrator) {
    return IsWellKnownSid(account, WinLocalSystemSid) || IsWellKnownSid(account, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(account, WinCreatorOwnerSid) || IsWellKnownSid(account, WinCreatorGroupSid) ||
           IsSidText(account, kTrustedInstallerSid) ||
           (runningAdministrator != nullptr && EqualSid(account, runningAdministrator));
}

// The user SID of this process's token when the token is an elevated administrator's, in buffer.
PSID RunningAdministrator(std::vector<BYTE>& buffer) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !CheckTokenMembership(nullptr, administrators, &member) || !member) {
        return nullptr;
    }
    KernelHandle token;
    DWORD needed = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return nullptr;
    }
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
    buffer.resize(needed);
    if (needed == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), needed, &needed)) {
        return nullptr;
    }
    return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

// The folder that holds the file at path, a full path. A root keeps its separator: "C:" alone
// names the drive's current folder, and "" nothing.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const bool root = slash == 0 || (slash == 2 && path[1] == L':');
    return path.substr(0, root ? slash + 1 : slash);
}

// Adds the untrusted writers of path to writers; false with error set when its descriptor
// cannot be read.
bool AddWritersOf(const std::wstring& path, PSID runningAdministrator, std::vector<std::string>& writers,
                  DWORD& error) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, nullptr, nullptr, &raw);
    const LocalMemory descriptor(raw);
    if (error != ERROR_SUCCESS) {
        return false;
    }
    for (std::string& writer : UntrustedWritersOf(raw, runningAdministrator)) {
        if (std::find(writers.begin(), writers.end(), writer) == writers.end()) {
            writers.push_back(std::move(writer));
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> UntrustedWritersOf(PSECURITY_DESCRIPTOR descriptor, PSID runningAdministrator) {
    std::vector<std::string> writers;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr &&
        !IsTrustedWriter(owner, runningAdministrator)) {
        writers.push_back("owner " + AccountText(owner));
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return writers;
    }
    const auto trusted = [runningAdministrator](PSID account) {
        return IsTrustedWriter(account, runningAdministrator);
    };
    for (std::string& grantee : UntrustedGrantees(present ? dacl : nullptr, kChangeRights, trusted)) {
        writers.push_back(std::move(grantee));
    }
    return writers;
}

void CheckDllFolder(CheckReport& report, const std::wstring& registeredPath) {
    // A bare or relative name is audited where the sign-in screen would load it from, never here;
    // one found nowhere has its own provider DLL line and no folder to audit.
    const std::wstring dllPath = FindDllAsLogonLoaderWould(registeredPath);
    if (dllPath.empty()) {
        return;
    }
    const std::wstring folder = FolderOf(dllPath);
    std::vector<BYTE> buffer;
    const PSID runningAdministrator = RunningAdministrator(buffer);
    std::vector<std::string> writers;
    DWORD error = ERROR_SUCCESS;
    // A missing DLL has its own line; its folder still matters, since a DLL may be put there.
    std::vector<std::wstring> paths{folder};
    if (GetFileAttributesW(dllPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        paths.push_back(dllPath);
    }
    for (const std::wstring& path : paths) {
        if (!AddWritersOf(path, runningAdministrator, writers, error)) {
            AddCheck(report, "DLL folder", CheckStatus::Warn,
                     "the security of " + EscapedPathForDisplay(path) + " cannot be read (" +
                         Win32ErrorNumberText(error) + ")",
                     "run credhost doctor from an elevated prompt");
            return;
        }
    }
    if (!writers.empty()) {
        AddCheck(report, "DLL folder", CheckStatus::Fail,
                 ListedAccounts(writers) + " may change " + EscapedPathForDisplay(folder) +
                     " or the DLL in it, which the sign-in screen loads as LocalSystem",
                 "install only with the package, into C:\\Program Files\\qm-credprovider, or remove that access");
        return;
    }
    AddCheck(report, "DLL folder", CheckStatus::Ok,
             EscapedPathForDisplay(folder) + " and the DLL: only administrators and LocalSystem may change them");
}
