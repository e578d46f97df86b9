#include "dll_folder_check.h"

#include "access_grants.h"
#include "display_escaping.h"
#include "loader_search.h"
#include "object_writers.h"
#include "win32_error_name.h"

void CheckDllFolder(CheckReport& report, const std::wstring& registeredPath) {
    // A bare or relative name is audited where the sign-in screen would load it from, never here;
    // one found nowhere has its own provider DLL line and no folder to audit.
    const std::wstring dllPath = FindDllAsLogonLoaderWould(registeredPath);
    if (dllPath.empty()) {
        return;
    }
    const std::wstring folder = FolderOf(dllPath);
    TrustedWriters trusted;
    trusted.AddRunningAdministrator();
    std::vector<std::string> writers;
    // A missing DLL has its own line; its folder still matters, since a DLL may be put there.
    std::vector<std::wstring> paths{folder};
    if (GetFileAttributesW(dllPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        paths.push_back(dllPath);
    }
    for (const std::wstring& path : paths) {
        const DWORD error = AddUntrustedWritersOf(path, trusted, writers);
        if (error != ERROR_SUCCESS) {
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
