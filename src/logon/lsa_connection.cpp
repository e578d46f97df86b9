#include "logon/lsa_connection.h"

#include <cstring>

#include "logon/logon_system_calls.h"

void CloseLsaHandle(HANDLE handle) noexcept { g_logonSystemCalls.deregisterLogonProcess(handle); }

NTSTATUS LsaConnection::Connect() noexcept {
    m_handle.Close();
    // Whatever a failed call left in handle is no connection and is never closed.
    HANDLE handle = nullptr;
    NTSTATUS status = g_logonSystemCalls.connectUntrusted(&handle);
    if (status != 0) {
        return status;
    }
    m_handle = LsaHandle(handle);
    return status;
}

ULONG LsaConnection::LookupPackage(PCSTR packageName) const noexcept {
    if (!IsOpen()) {
        return 0;
    }
    size_t length = strlen(packageName);
    LSA_STRING name;
    name.Length = static_cast<USHORT>(length);
    name.MaximumLength = static_cast<USHORT>(length + 1);
    name.Buffer = const_cast<PCHAR>(packageName);

    ULONG package = 0;
    g_logonSystemCalls.lookupAuthenticationPackage(m_handle.Get(), &name, &package);
    return package;
}
