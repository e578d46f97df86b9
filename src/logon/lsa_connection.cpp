#include "logon/lsa_connection.h"

#include <cstring>

#include "logon/lsa_entry_points.h"

NTSTATUS LsaConnection::Connect() noexcept
{
    Close();
    HANDLE handle = nullptr;
    NTSTATUS status = LsaCalls.connectUntrusted(&handle);
    if (status != 0) {
        return status;
    }
    m_handle = handle;
    return status;
}

ULONG LsaConnection::LookupPackage(PCSTR packageName) const noexcept
{
    if (!IsOpen()) {
        return 0;
    }
    size_t length = strlen(packageName);
    LSA_STRING name;
    name.Length = static_cast<USHORT>(length);
    name.MaximumLength = static_cast<USHORT>(length + 1);
    name.Buffer = const_cast<PCHAR>(packageName);

    ULONG package = 0;
    LsaCalls.lookupAuthenticationPackage(m_handle, &name, &package);
    return package;
}

// The deregistration's status is ignored: there is nothing left to do with a connection that
// does not close.
void LsaConnection::Close() noexcept
{
    if (!IsOpen()) {
        return;
    }
    LsaCalls.deregisterLogonProcess(m_handle);
    m_handle = nullptr;
}
