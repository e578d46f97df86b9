// Who may serve the agent pipe. Any process of any account can create the pipe's name while the
// agent does not hold it (at boot, after a crash, during an upgrade), so the exchange identifies
// the server before a password is written to it.
//
// The server is known by the owner of the pipe object, read from the client's own handle. Only
// LocalSystem, an elevated administrator or the qm-agent service itself can make an object owned
// by one of the trusted accounts, and the owner is fixed when the name's first instance is made.
// A process ID or a token would not do: an ID may be reused by another process once its holder
// exits, and a standard user (the credential prompt runs as one) cannot open a service's token.
#pragma once

#include <windows.h>

// The sub-authorities of NT SERVICE\qm-agent, the service SID Windows gives the service named
// qm-agent: 80, then the SHA-1 of the upper-cased name "QM-AGENT" in UTF-16LE as five
// little-endian words. Precomputed, so the module needs no hash at run time; tests/agent derives
// it again from the name.
inline constexpr DWORD kAgentServiceSidSubAuthorities[6] = {80,         150321250,  2041296840,
                                                            1456520357, 1891932008, 333219552};

// The rule itself: true for LocalSystem (S-1-5-18), BUILTIN\Administrators (S-1-5-32-544) and
// NT SERVICE\qm-agent; false for every other SID and for none at all.
bool IsTrustedAgentPipeOwner(PSID owner) noexcept;

// Reads the owner of the pipe behind the client handle pipe (which needs READ_CONTROL) and
// applies the rule. False whenever the owner cannot be read or there is none.
bool IsTrustedAgentServer(HANDLE pipe) noexcept;
