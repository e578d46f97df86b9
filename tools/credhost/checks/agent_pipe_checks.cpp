#include "agent_pipe_checks.h"

#include "access_grants.h"
#include "account_text.h"
#include "agent/agent_server_identity.h"
#include "agent_pipe_name.h"
#include "base/unique_handle.h"
#include "base/local_memory.h"
#include "utf8_conversion.h"

#include <aclapi.h>

namespace {

// How long doctor waits for a free instance when every one is busy.
constexpr DWORD kBusyWaitMs = 2000;

const std::string kPipe = Utf8FromWide(kAgentPipeName);
const std::string kStartHint = "start the agent (its service: sc.exe start qm-agent) and make it start at boot";
const std::string kImpostorHint =
    "another process may hold the pipe's name: stop it, restart the agent, and give its pipe as owner LocalSystem, "
    "Administrators or NT SERVICE\\qm-agent, and a DACL that lets no other account create instances";

HANDLE OpenAgentPipe() {
    return CreateFileW(kAgentPipeName, READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

// Opens the pipe, waiting a little for an instance when all are busy; false with the line added.
bool OpenPipeOrSayWhy(CheckReport& report, KernelHandle& pipe) {
    pipe = KernelHandle(OpenAgentPipe());
    if (!pipe && GetLastError() == ERROR_PIPE_BUSY && WaitNamedPipeW(kAgentPipeName, kBusyWaitMs)) {
        pipe = KernelHandle(OpenAgentPipe());
    }
    if (pipe) {
        AddCheck(report, "agent pipe", CheckStatus::Ok, kPipe + " is served");
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        AddCheck(report, "agent pipe", CheckStatus::Fail,
                 kPipe +
                     " does not exist: the agent is not running, and the tile says \"qm-agent unreachable (pipe "
                     "timeout)\"",
                 kStartHint);
        return false;
    }
    if (error == ERROR_PIPE_BUSY || error == ERROR_SEM_TIMEOUT) {
        AddCheck(report, "agent pipe", CheckStatus::Warn,
                 kPipe + " is served, but every instance stayed busy for " + std::to_string(kBusyWaitMs / 1000) + " s",
                 "run credhost doctor again; if it stays busy, the agent is stuck or serves too few instances");
        return false;
    }
    AddCheck(report, "agent pipe", CheckStatus::Warn, kPipe + " cannot be opened (error " + std::to_string(error) + ")",
             "run credhost doctor from an elevated prompt");
    return false;
}

}  // namespace

std::vector<std::string> UntrustedInstanceCreators(const ACL* dacl) {
    if (dacl == nullptr) {
        return {"Everyone (no DACL)"};
    }
    std::vector<std::string> creators;
    DWORD index = 0;
    PSID grantee = nullptr;
    for (; FindUntrustedAgentPipeGrant(dacl, index, grantee); ++index) {
        AddGranteeOnce(creators, grantee);
    }
    return creators;
}

void CheckAgentPipe(CheckReport& report) {
    KernelHandle pipe;
    if (!OpenPipeOrSayWhy(report, pipe)) {
        return;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD error =
        GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &raw);
    // owner and dacl point into the descriptor.
    const LocalMemory descriptor(raw);
    if (error != ERROR_SUCCESS) {
        AddCheck(report, "agent pipe owner", CheckStatus::Fail,
                 "the pipe's security cannot be read (error " + std::to_string(error) +
                     "): the tile says \"qm-agent pipe server not trusted\"",
                 kImpostorHint);
        return;
    }
    if (!IsTrustedAgentAccount(owner)) {
        AddCheck(report, "agent pipe owner", CheckStatus::Fail,
                 AccountText(owner) +
                     " is not LocalSystem, the Administrators or NT SERVICE\\qm-agent: the tile says \"qm-agent pipe "
                     "server not trusted\"",
                 kImpostorHint);
    } else {
        AddCheck(report, "agent pipe owner", CheckStatus::Ok, AccountText(owner) + ", trusted");
    }
    const std::vector<std::string> creators = UntrustedInstanceCreators(dacl);
    if (!creators.empty()) {
        AddCheck(report, "agent pipe access", CheckStatus::Fail,
                 ListedAccounts(creators) + " may create instances of the pipe's name and so answer sign-ins",
                 "give the pipe a DACL that grants interactive users read and write only (0x0012019B) and the right to "
                 "create instances to LocalSystem and Administrators alone");
        return;
    }
    AddCheck(report, "agent pipe access", CheckStatus::Ok, "only trusted accounts may create instances");
}
