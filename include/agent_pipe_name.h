// The agent pipe's name: the one definition for the module, the tools and the tests. Header
// only, and free of windows.h, so that anything may include it.
#pragma once

inline constexpr wchar_t kAgentPipeName[] = L"\\\\.\\pipe\\quillmere-agent-auth";
