// The agent pipe as the provider would find it: is it there, is its owner one the module trusts
// (by the module's own rule, agent/agent_server_identity.h), and may anyone but the trusted
// accounts create instances of its name (FILE_CREATE_PIPE_INSTANCE, which is FILE_APPEND_DATA,
// or GENERIC_WRITE, GENERIC_ALL, or the right to rewrite the DACL or the owner that grant it).
//
// Doctor connects as a client for a moment, with identification-level impersonation only, as the
// module does: the server may be an impostor and doctor runs as an administrator. It writes
// nothing; the agent sees a client that leaves without a request.
#pragma once

#include <windows.h>

#include "check_report.h"

#include <string>
#include <vector>

// What to do about a pipe whose DACL is not the sound one: network logons denied; LocalSystem and
// the Administrators in full; interactive users read, write and the module's attribute write, but
// no instance creation.
inline const std::string kSoundAgentPipeDaclHint =
    "give the pipe the DACL D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU): interactive users "
    "0x0012019B, no right to create instances";

// Adds the agent pipe line; when the pipe could be opened, also its owner, access and user access
// lines. True when the pipe is served (it could be opened).
bool CheckAgentPipe(CheckReport& report);

// Adds the agent pipe user access line: OK when the DACL gives a standard interactive user the
// access the module opens the pipe with (GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES),
// deny entries weighed in order as Windows does; a WARN naming the credential prompt when not,
// since the sign-in screen runs as LocalSystem and a standard user's credential prompt as that
// user.
void CheckInteractiveUsersAccess(CheckReport& report, const ACL* dacl);

// The accounts other than the trusted owners that the pipe's DACL lets create instances.
std::vector<std::string> UntrustedInstanceCreators(const ACL* dacl);
