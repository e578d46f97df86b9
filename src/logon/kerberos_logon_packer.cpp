#include "logon/kerberos_logon_packer.h"

#include <ntsecapi.h>
#include <objbase.h>
#include <wincred.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "logon/logon_system_calls.h"
#include "logon/lsa_connection.h"
#include "provider_class_id.h"

namespace {

// Where a layout puts the header's fields. Each UNICODE_STRING holds Length at +0 and
// MaximumLength at +2, then its Buffer field, which carries the body's byte offset from the start
// of the block, never an address, so the block can be moved as bytes. The bodies follow the
// header; LogonId, the header's last field, stays zero.
struct LogonLayout {
    ULONG headerSize;
    ULONG stringAt[3];  // LogonDomainName, UserName, Password
    ULONG bufferAt;     // the Buffer field's place within a UNICODE_STRING
    ULONG bufferSize;   // the Buffer field's size: a pointer of that layout
};

// The layout of the 64-bit SDK structure, which this process shares.
constexpr LogonLayout kLayout64 = {64, {8, 24, 40}, 8, 8};
static_assert(sizeof(KERB_INTERACTIVE_UNLOCK_LOGON) == kLayout64.headerSize, "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.LogonDomainName) == kLayout64.stringAt[0], "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.UserName) == kLayout64.stringAt[1], "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.Password) == kLayout64.stringAt[2], "x86-64 layout");
static_assert(offsetof(UNICODE_STRING, Buffer) == kLayout64.bufferAt, "x86-64 layout");

// The layout a 32-bit process would give the same structure: 4-byte pointers, no gaps.
constexpr LogonLayout kLayout32 = {36, {4, 12, 20}, 4, 4};

constexpr DWORD kComputerNameCapacity = MAX_COMPUTERNAME_LENGTH + 1;

constexpr char kKerberosPackageName[] = "Kerberos";

// Units of text up to the terminator, or kMaxLogonStringUnits + 1 for anything too long to pack;
// the scan stops there instead of walking an arbitrarily long string.
size_t BoundedLength(PCWSTR text) noexcept { return wcsnlen(text, kMaxLogonStringUnits + 1); }

// Describes one body in the header at fieldAt, copies it to the running offset without a
// terminator, and moves the offset past it. x86-64 stores integers little-endian, as the block
// wants them; the offset is written in the layout's pointer size.
void PackString(BYTE* block, const LogonLayout& layout, ULONG fieldAt, ULONG* offset, PCWSTR text,
                size_t units) noexcept {
    const USHORT bytes = static_cast<USHORT>(units * sizeof(WCHAR));
    const ULONG64 bodyOffset = *offset;
    memcpy(block + fieldAt, &bytes, sizeof bytes);
    memcpy(block + fieldAt + sizeof bytes, &bytes, sizeof bytes);
    memcpy(block + fieldAt + layout.bufferAt, &bodyOffset, layout.bufferSize);
    memcpy(block + *offset, text, bytes);
    *offset += bytes;
}

// The package number LSA gives for "Kerberos", or 0 when the connection fails. A fresh
// connection per call: nothing about LSA is remembered between sign-ins.
ULONG LookupKerberosPackage() noexcept {
    LsaConnection lsa;
    if (lsa.Connect() != 0) {
        return 0;
    }
    return lsa.LookupPackage(kKerberosPackageName);
}

}  // namespace

HRESULT KerberosLogonPacker(PCWSTR accountName, PCWSTR password, CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario,
                            DWORD flags, CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept {
    if (accountName == nullptr || password == nullptr || pcpcs == nullptr) {
        return E_INVALIDARG;
    }
    size_t userUnits = BoundedLength(accountName);
    size_t passwordUnits = BoundedLength(password);
    if (userUnits > kMaxLogonStringUnits || passwordUnits > kMaxLogonStringUnits) {
        return E_INVALIDARG;
    }

    // A failed call leaves the zero-filled buffer, which packs as an empty domain.
    WCHAR computerName[kComputerNameCapacity] = {};
    DWORD capacity = kComputerNameCapacity;
    g_logonSystemCalls.getComputerName(computerName, &capacity);
    size_t domainUnits = wcsnlen(computerName, kComputerNameCapacity);

    const LogonLayout& layout = (flags & CREDUIWIN_PACK_32_WOW) != 0 ? kLayout32 : kLayout64;
    const ULONG messageType = scenario == CPUS_UNLOCK_WORKSTATION ? KerbWorkstationUnlockLogon : KerbInteractiveLogon;
    ULONG size = layout.headerSize + static_cast<ULONG>((domainUnits + userUnits + passwordUnits) * sizeof(WCHAR));
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    // Zero first: the alignment gaps and LogonId must be zero, not heap leftovers.
    memset(block, 0, size);

    memcpy(block, &messageType, sizeof messageType);
    ULONG offset = layout.headerSize;
    PackString(block, layout, layout.stringAt[0], &offset, computerName, domainUnits);
    PackString(block, layout, layout.stringAt[1], &offset, accountName, userUnits);
    PackString(block, layout, layout.stringAt[2], &offset, password, passwordUnits);

    // A failed connection or lookup leaves package 0 and still hands out the block: the logon
    // machinery, not this routine, decides what an unknown package means.
    pcpcs->ulAuthenticationPackage = LookupKerberosPackage();
    pcpcs->clsidCredentialProvider = CLSID_QMCredProvider;
    pcpcs->cbSerialization = size;
    pcpcs->rgbSerialization = block;
    return S_OK;
}
