// Who may change the files the agent trusts. The service runs as LocalSystem (or as its own
// virtual account): its users file decides whom it approves, its executable is what the service
// control manager runs, and its log is what an administrator reads. An account that may change
// one of them, or the folder that holds it, may sign anyone in or run code as LocalSystem.
#pragma once

#include <windows.h>

#include "object_writers.h"

#include <string>
#include <vector>

struct UnsafeAgentPath {
    std::wstring path;                 // the file or folder
    std::vector<std::string> writers;  // the untrusted accounts that may change it, as AccountText
    DWORD error = ERROR_SUCCESS;       // else: why its security could not be read
};

// The accounts trusted with the agent's files: those object_writers.h always trusts,
// NT SERVICE\qm-agent, and the account running this when it is an elevated administrator (who
// installs the service, and may change anything anyway).
TrustedWriters AgentFileWriters();

// Each file followed by the folder that holds it.
std::vector<std::wstring> WithTheirFolders(const std::vector<std::wstring>& files);

// The first of paths that an untrusted account may change, or whose security cannot be read;
// false when there is none. A path where nothing exists yet (a log to be created) is passed over.
bool FindUnsafeAgentPath(const std::vector<std::wstring>& paths, const TrustedWriters& trusted,
                         UnsafeAgentPath& unsafe);
