// An untrusted LSA connection that closes itself. Used for one package lookup per logon packing;
// nothing is kept between packings.
#pragma once

#include <windows.h>
#include <ntsecapi.h>

class LsaConnection {
public:
    LsaConnection() noexcept = default;
    ~LsaConnection() { Close(); }

    LsaConnection(const LsaConnection&) = delete;
    LsaConnection& operator=(const LsaConnection&) = delete;

    // Opens the connection; only STATUS_SUCCESS (0) leaves it open. Returns LSA's status.
    NTSTATUS Connect() noexcept;

    // The package number LSA gives for packageName, or 0 when the lookup writes none. The
    // lookup's status is deliberately not examined: whatever it left in the number is the answer.
    ULONG LookupPackage(PCSTR packageName) const noexcept;

    bool IsOpen() const noexcept { return m_handle != nullptr; }

private:
    void Close() noexcept;

    HANDLE m_handle = nullptr;
};
