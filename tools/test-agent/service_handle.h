// Owner of a handle of the service control manager (the manager's or a service's), closed
// through the service call table like every other call on it.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"
#include "service_system_calls.h"

inline void CloseServiceHandleThroughTable(SC_HANDLE handle) noexcept {
    g_serviceSystemCalls.closeServiceHandle(handle);
}

using ServiceHandle = UniqueHandle<SC_HANDLE, CloseServiceHandleThroughTable>;

// The last error of a failed service call as an HRESULT, never a success: a call that failed
// without setting one must not read as S_OK.
inline HRESULT ServiceCallFailure() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}
