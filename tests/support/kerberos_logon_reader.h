// An independent reader of a packed Kerberos interactive-unlock logon block, for tests. It takes
// every field from its byte offset as little-endian integers and never uses the platform's
// structures, so a layout fault in the product's structures cannot hide itself here.
#pragma once

#include <windows.h>

#include <string>

// Where a layout puts the header's fields: MessageType at 0, then three UNICODE_STRINGs (Length
// at +0, MaximumLength at +2, the body's offset in the Buffer field), then LogonId. Every byte of
// the header that no field covers is an alignment gap and must be zero.
struct PackedLogonLayout {
    const char* name;
    size_t headerSize;
    size_t stringAt[3];  // LogonDomainName, UserName, Password
    size_t bufferAt;     // within a UNICODE_STRING
    size_t bufferSize;
    size_t logonIdAt;
};

// What a 64-bit process lays out, and what a 32-bit caller of the credential prompt expects.
inline constexpr PackedLogonLayout kPackedLogon64 = {"64-bit", 64, {8, 24, 40}, 8, 8, 56};
inline constexpr PackedLogonLayout kPackedLogon32 = {"32-bit", 36, {4, 12, 20}, 4, 4, 28};

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
    // Empty when the block is well formed: at least the header; zero alignment gaps; each Length
    // equal to its MaximumLength and even; the three bodies inside the block, back to back from
    // the header's end in the order domain, user, password; and the block ending with the last
    // byte of the password. Otherwise one line per fault.
    std::string faults;
};

PackedLogon ReadPackedLogon(const BYTE* block, size_t size, const PackedLogonLayout& layout = kPackedLogon64);

// What a block of this machine should hold, asked of the system directly: the computer name
// (GetComputerNameW) and the number LSA gives for "Kerberos" (0 when LSA cannot be reached).
std::wstring LocalComputerName();
ULONG KerberosPackageFromLsa();
