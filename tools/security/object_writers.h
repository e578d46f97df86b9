// Who, besides the trusted accounts, may change a file or a folder: its owner (who may always
// rewrite its DACL) and each account that an allowing entry of its DACL grants writing, deleting,
// or changing the DACL or the owner. A file that decides what LocalSystem loads or whom it lets
// sign in is only as safe as the weakest of these accounts: credhost doctor asks this of the
// provider's DLL and its folder, test-agent's service install of the files the service will use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Writing into a folder or a file (add file, add subfolder, write or append data), deleting
// its children or itself, and rewriting its DACL or owner.
inline constexpr ACCESS_MASK kObjectChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                                   WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The accounts trusted with those rights. Always LocalSystem, the Administrators,
// TrustedInstaller and the creator placeholders (whose entries only shape what children get);
// each check adds its own, such as the elevated administrator running it or a service's SID.
class TrustedWriters {
public:
    // Trusts a copy of account as well.
    void Add(PSID account);

    // Trusts this process's user as well when its token is an elevated administrator's: that
    // account's rights give no ordinary user anything. Nothing when it is not.
    void AddRunningAdministrator();

    bool Trusts(PSID account) const noexcept;

private:
    std::vector<std::vector<BYTE>> m_added;
};

// The accounts other than the trusted ones that may change the object descriptor describes
// ("owner X" for an untrusted owner), as AccountText; "Everyone (no DACL)" for a null DACL.
std::vector<std::string> UntrustedWritersOf(PSECURITY_DESCRIPTOR descriptor, const TrustedWriters& trusted);

// Adds to writers, each once, the untrusted writers of the file or folder at path. Returns
// ERROR_SUCCESS, or the error that reading its owner and DACL gave (writers then unchanged).
DWORD AddUntrustedWritersOf(const std::wstring& path, const TrustedWriters& trusted, std::vector<std::string>& writers);

// The folder that holds the file at path. A root keeps its separator: "C:" alone names the
// drive's current folder, and "" nothing. A bare file name gives ".".
std::wstring FolderOf(const std::wstring& path);
