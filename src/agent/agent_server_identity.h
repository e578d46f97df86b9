// Who may serve the agent pipe. Any process of any account can create the pipe's name while the
// agent does not hold it (at boot, after a crash, during an upgrade), so the exchange identifies
// the server before a password is written to it.
//
// The server is known by the pipe object's security, read from the client's own handle:
// - its owner, which only LocalSystem, an elevated administrator or the qm-agent service itself
//   can make one of the trusted accounts, and which is fixed when the name's first instance is
//   made;
// - its DACL, because every further instance of the name takes the first one's descriptor: a
//   DACL that lets another account create instances (or rewrite the DACL or the owner) lets
//   that account serve the trusted owner's pipe, and so read the next password.
// A process ID or a token would not do: an ID may be reused by another process once its holder
// exits, and a standard user (the credential prompt runs as one) cannot open a service's token.
//
// credhost's doctor and agent-check apply this same rule; it is written here only.
#pragma once

#include <windows.h>

// The sub-authorities of NT SERVICE\qm-agent, the service SID Windows gives the service named
// qm-agent: 80, then the SHA-1 of the upper-cased name "QM-AGENT" in UTF-16LE as five
// little-endian words. Precomputed, so the module needs no hash at run time; tests/agent derives
// it again from the name.
inline constexpr DWORD kAgentServiceSidSubAuthorities[6] = {80,         150321250,  2041296840,
                                                            1456520357, 1891932008, 333219552};

// The rights that let an account add an instance to the pipe's name or take its security over.
inline constexpr ACCESS_MASK kAgentPipeInstanceRights =
    FILE_CREATE_PIPE_INSTANCE | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;

// The accounts trusted to own and to serve the pipe: LocalSystem (S-1-5-18),
// BUILTIN\Administrators (S-1-5-32-544) and NT SERVICE\qm-agent. False for every other SID and
// for none at all.
bool IsTrustedAgentAccount(PSID account) noexcept;

// Walks the DACL's allowing entries that apply to the pipe itself (every allow type: plain,
// callback, object, compound) and reports the next one, from index on, that grants any of
// kAgentPipeInstanceRights to an account other than the trusted ones. Returns true with index
// set to that entry and grantee to its SID (null when the entry cannot be read as one SID, which
// counts as untrusted); false when no such entry remains. Deny entries are skipped: they never
// make a pipe trusted, and an allow entry they would shadow still counts.
bool FindUntrustedAgentPipeGrant(const ACL* dacl, DWORD& index, PSID& grantee) noexcept;

// The whole rule: a trusted owner, a DACL present (a null DACL lets everyone in), and no entry
// that FindUntrustedAgentPipeGrant reports.
bool IsTrustedAgentPipeSecurity(PSID owner, const ACL* dacl) noexcept;

// Reads the owner and the DACL of the pipe behind the client handle pipe (which needs
// READ_CONTROL) in one call and applies the rule. False whenever they cannot be read.
bool IsTrustedAgentServer(HANDLE pipe) noexcept;
