// The qm-agent service of the service control manager, for the tests that create, read or delete
// it under Wine's real manager.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

// A handle of the service control manager or of one of its services.
using ScmHandle = UniqueHandle<SC_HANDLE, CloseServiceHandle>;

// The qm-agent service opened with access; empty when it does not exist. A service's handle
// stays valid once its manager's handle is closed.
inline ScmHandle OpenAgentService(DWORD access) {
    const ScmHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    return ScmHandle(manager ? OpenServiceW(manager.Get(), L"qm-agent", access) : nullptr);
}
