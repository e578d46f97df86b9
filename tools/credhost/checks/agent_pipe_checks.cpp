#include "agent_pipe_checks.h"

#include "access_grants.h"
#include "account_text.h"
#include "agent/agent_pipe_protocol.h"
#include "agent/agent_server_identity.h"
#include "agent_pipe_name.h"
#include "base/unique_handle.h"
#include "base/local_memory.h"
#include "standard_user_access.h"
#include "utf8_conversion.h"
#include "win32_error_name.h"

#include <aclapi.h>

namespace {

// A pipe maps generic rights as a file does.
constexpr GENERIC_MAPPING kPipeGenericMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                                 FILE_ALL_ACCESS};

// How long doctor waits for a free instance when every one is busy.
constexpr DWORD kBusyWaitMs = 2000;

const std::string kPipe = Utf8FromWide(kAgentPipeName);
const std::string kStartHint = "start the agent, and make it start at boot";
const std::string kImpostorHint =
    "another process may hold the pipe's name: stop it, restart the agent, and let it create its pipe owned by "
    "LocalSystem (O:SY) or NT SERVICE\\qm-agent";

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
                     " does not exist: no agent is serving it, and the tile says \"qm-agent unreachable (pipe "
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
    AddCheck(report, "agent pipe", CheckStatus::Warn, kPipe + " cannot be opened (" + Win32ErrorNumberText(error) + ")",
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

bool CheckAgentPipe(CheckReport& report) {
    KernelHandle pipe;
    if (!OpenPipeOrSayWhy(report, pipe)) {
        return false;
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
                 "the pipe's security cannot be read (" + Win32ErrorNumberText(error) +
                     "): the tile says \"qm-agent pipe server not trusted\"",
                 kImpostorHint);
        return true;
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
                 kSoundAgentPipeDaclHint);
    } else {
        AddCheck(report, "agent pipe access", CheckStatus::Ok, "only trusted accounts may create instances");
    }
    CheckInteractiveUsersAccess(report, dacl);
    return true;
}

void CheckInteractiveUsersAccess(CheckReport& report, const ACL* dacl) {
    if (StandardUserGetsAccess(dacl, kAgentPipeClientAccess, kPipeGenericMapping)) {
        AddCheck(report, "agent pipe user access", CheckStatus::Ok,
                 "interactive users may open the pipe as the tile does (read, write data, write attributes)");
        return;
    }
    AddCheck(report, "agent pipe user access", CheckStatus::Warn,
             "the DACL does not give interactive users (S-1-5-4) read, write data and write attributes: the sign-in "
             "screen (LocalSystem) still reaches the agent, but a standard user's credential prompt would fail "
             "with \"qm-agent pipe open failed\"",
             kSoundAgentPipeDaclHint);
}
