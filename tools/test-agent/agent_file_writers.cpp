#include "agent_file_writers.h"

#include "agent/agent_server_identity.h"

namespace {

bool NothingThere(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

TrustedWriters AgentFileWriters() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    BYTE service[SECURITY_MAX_SID_SIZE];
    InitializeSid(service, &ntAuthority, ARRAYSIZE(kAgentServiceSidSubAuthorities));
    for (DWORD i = 0; i < ARRAYSIZE(kAgentServiceSidSubAuthorities); ++i) {
        *GetSidSubAuthority(service, i) = kAgentServiceSidSubAuthorities[i];
    }
    TrustedWriters trusted;
    trusted.Add(service);
    trusted.AddRunningAdministrator();
    return trusted;
}

std::vector<std::wstring> WithTheirFolders(const std::vector<std::wstring>& files) {
    std::vector<std::wstring> paths;
    for (const std::wstring& file : files) {
        paths.push_back(file);
        paths.push_back(FolderOf(file));
    }
    return paths;
}

bool FindUnsafeAgentPath(const std::vector<std::wstring>& paths, const TrustedWriters& trusted,
                         UnsafeAgentPath& unsafe) {
    for (const std::wstring& path : paths) {
        std::vector<std::string> writers;
        const DWORD error = AddUntrustedWritersOf(path, trusted, writers);
        if (NothingThere(error) || (error == ERROR_SUCCESS && writers.empty())) {
            continue;
        }
        unsafe = UnsafeAgentPath{path, std::move(writers), error};
        return true;
    }
    return false;
}
