// The account the agent runs as, which chooses the owner and the entries of what it creates.
#pragma once

#include <windows.h>

#include <string>

// The SID of the calling process's user, as a string ("S-1-5-21-...").
HRESULT CurrentUserSidString(std::wstring& sid) noexcept;
