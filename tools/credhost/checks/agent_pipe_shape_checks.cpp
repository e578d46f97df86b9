#include "agent_pipe_shape_checks.h"

#include "agent_pipe_checks.h"
#include "base/allowing_ace.h"
#include "base/local_memory.h"
#include "win32_error_name.h"

#include <aclapi.h>

#include <string>

namespace {

// A client needs to write its request: a deny of any of these keeps a network caller out,
// whether the DACL holds generic rights (as written in SDDL) or the file rights Windows maps
// them to.
constexpr ACCESS_MASK kRequestWriteRights = GENERIC_ALL | GENERIC_WRITE | FILE_WRITE_DATA;


bool IsNetworkDenial(const ACL* dacl, DWORD index) noexcept {
    void* raw = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), index, &raw)) {
        return false;
    }
    const auto* ace = static_cast<const ACCESS_DENIED_ACE*>(raw);
    if (ace->Header.AceType != ACCESS_DENIED_ACE_TYPE || (ace->Header.AceFlags & INHERIT_ONLY_ACE) != 0 ||
        (ace->Mask & kRequestWriteRights) == 0) {
        return false;
    }
    BYTE network[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(network);
    if (!CreateWellKnownSid(WinNetworkSid, nullptr, network, &size)) {
        return false;
    }
    return EqualSid(const_cast<DWORD*>(&ace->SidStart), network) != FALSE;
}

}  // namespace

bool DaclDeniesNetworkFirst(const ACL* dacl) noexcept {
    if (dacl == nullptr) {
        return false;
    }
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        if (IsNetworkDenial(dacl, index)) {
            return true;
        }
        if (ReadAceGrant(dacl, index).grant != AceGrant::None) {
            return false;  // something is allowed before network logons are turned away
        }
    }
    return false;
}

void CheckAgentPipeDeniesNetwork(CheckReport& report, HANDLE pipe) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD error =
        GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &raw);
    const LocalMemory descriptor(raw);  // dacl points into it
    if (error != ERROR_SUCCESS) {
        AddCheck(report, "agent pipe network", CheckStatus::Fail,
                 "the pipe's DACL cannot be read (" + Win32ErrorNumberText(error) + ")", kSoundAgentPipeDaclHint);
        return;
    }
    if (!DaclDeniesNetworkFirst(dacl)) {
        AddCheck(report, "agent pipe network", CheckStatus::Fail,
                 "the DACL does not deny network logons (NU) before it allows anyone: only "
                 "PIPE_REJECT_REMOTE_CLIENTS, which a client cannot see, would keep another machine out",
                 kSoundAgentPipeDaclHint);
        return;
    }
    AddCheck(report, "agent pipe network", CheckStatus::Ok, "network logons are denied first");
}

void CheckAgentPipeIsMessagePipe(CheckReport& report, HANDLE pipe) {
    DWORD flags = 0;
    if (!GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr)) {
        AddCheck(report, "agent pipe mode", CheckStatus::Fail,
                 "the pipe's type cannot be read (" + Win32ErrorNumberText(GetLastError()) + ")",
                 "create the pipe with PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE");
        return;
    }
    if ((flags & PIPE_TYPE_MESSAGE) == 0) {
        AddCheck(report, "agent pipe mode", CheckStatus::Fail,
                 "a byte pipe: a request or a reply may be read in pieces, or two run together",
                 "create every instance with PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE");
        return;
    }
    AddCheck(report, "agent pipe mode", CheckStatus::Ok, "a message pipe");
}
