// Who holds the server end of the agent pipe. Any process of any account can create the pipe's
// name while the agent does not hold it (at boot, after a crash, during an upgrade), so the
// exchange identifies the server before a password is written to it.
#pragma once

#include <windows.h>

// The sub-authorities of NT SERVICE\qm-agent, the service SID Windows gives the service named
// qm-agent: 80, then the SHA-1 of the upper-cased name "QM-AGENT" in UTF-16LE as five
// little-endian words. Precomputed, so the module needs no hash at run time; tests/agent derives
// it again from the name.
inline constexpr DWORD kAgentServiceSidSubAuthorities[6] = {80,         150321250,  2041296840,
                                                            1456520357, 1891932008, 333219552};

// True when the process at the server end of pipe runs as LocalSystem, as the same account as
// this process, or holds the qm-agent service SID among its enabled groups. False for any other
// account and whenever the server cannot be identified.
bool IsTrustedAgentServer(HANDLE pipe) noexcept;
