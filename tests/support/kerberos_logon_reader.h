// An independent reader of a packed Kerberos interactive-unlock logon block, for tests. It takes
// every field from its byte offset as little-endian integers and never uses the platform's
// structures, so a layout fault in the product's structures cannot hide itself here.
#pragma once

#include <windows.h>

#include <string>

struct PackedLogonString {
    USHORT length = 0;         // bytes
    USHORT maximumLength = 0;  // bytes
    ULONG64 offset = 0;        // from the first byte of the block
    std::wstring text;         // the body's units, exactly as stored (no terminator expected)
};

struct PackedLogon {
    ULONG messageType = 0;
    PackedLogonString domain;
    PackedLogonString userName;
    PackedLogonString password;
    ULONG64 logonId = 0;
    // Empty when the block is well formed: at least the 64-byte header; zero alignment gaps
    // (bytes 4-7, 12-15, 28-31, 44-47); each Length equal to its MaximumLength and even; the
    // three bodies inside the block, back to back from offset 64 in the order domain, user,
    // password; and the block ending with the last byte of the password. Otherwise one line
    // per fault.
    std::string faults;
};

PackedLogon ReadPackedLogon(const BYTE* block, size_t size);

// What a block of this machine should hold, asked of the system directly: the computer name
// (GetComputerNameW) and the number LSA gives for "Kerberos" (0 when LSA cannot be reached).
std::wstring LocalComputerName();
ULONG KerberosPackageFromLsa();
