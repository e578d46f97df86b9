// The agent service's name and its virtual account: the one definition for the tools and the
// tests. The module trusts a pipe owned by the service SID that Windows derives from this name
// (agent/agent_server_identity.h holds it precomputed), so doctor's checks and the test agent's
// installation must name the same service. Header only, and free of windows.h.
#pragma once

inline constexpr wchar_t kAgentServiceName[] = L"qm-agent";
inline constexpr wchar_t kAgentVirtualAccount[] = L"NT SERVICE\\qm-agent";
