// An untrusted LSA connection that closes itself. Used for one package lookup per logon packing;
// nothing is kept between packings.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

#include "base/unique_handle.h"

// Closes through the logon's table of system calls, so a test sees (and may fail) the
// deregistration. Its status is ignored: there is nothing left to do with a connection that
// does not close.
void CloseLsaHandle(HANDLE handle) noexcept;

using LsaHandle = UniqueHandle<HANDLE, CloseLsaHandle>;

class LsaConnection {
public:
    // Opens the connection; only STATUS_SUCCESS (0) leaves it open. Returns LSA's status.
    NTSTATUS Connect() noexcept;

    // The package number LSA gives for packageName, or 0 when the lookup writes none. The
    // lookup's status is deliberately not examined: whatever it left in the number is the answer.
    ULONG LookupPackage(PCSTR packageName) const noexcept;

    bool IsOpen() const noexcept { return static_cast<bool>(m_handle); }

private:
    LsaHandle m_handle;
};
