#include "logon/kerberos_logon_packer.h"

#include <ntsecapi.h>
#include <objbase.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "logon/logon_system_calls.h"
#include "logon/lsa_connection.h"
#include "provider_class_id.h"

namespace {

// The header of the block as a 64-bit process lays it out; the string Buffer fields carry byte
// offsets from the start of the block, never addresses, so the block can be moved as bytes.
static_assert(sizeof(KERB_INTERACTIVE_UNLOCK_LOGON) == 64, "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.LogonDomainName) == 8, "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.UserName) == 24, "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, Logon.Password) == 40, "x86-64 layout");
static_assert(offsetof(KERB_INTERACTIVE_UNLOCK_LOGON, LogonId) == 56, "x86-64 layout");

constexpr ULONG kHeaderSize = sizeof(KERB_INTERACTIVE_UNLOCK_LOGON);

constexpr DWORD kComputerNameCapacity = MAX_COMPUTERNAME_LENGTH + 1;

constexpr char kKerberosPackageName[] = "Kerberos";

// Units of text up to the terminator, or kMaxLogonStringUnits + 1 for anything too long to pack;
// the scan stops there instead of walking an arbitrarily long string.
size_t BoundedLength(PCWSTR text) noexcept { return wcsnlen(text, kMaxLogonStringUnits + 1); }

// Describes one body in the header, copies it to the running offset without a terminator, and
// moves the offset past it.
void PackString(UNICODE_STRING* field, BYTE* block, ULONG* offset, PCWSTR text, size_t units) noexcept {
    USHORT bytes = static_cast<USHORT>(units * sizeof(WCHAR));
    field->Length = bytes;
    field->MaximumLength = bytes;
    field->Buffer = reinterpret_cast<PWSTR>(static_cast<ULONG_PTR>(*offset));
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

HRESULT KerberosLogonPacker(PCWSTR accountName, PCWSTR password,
                            CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept {
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

    ULONG size = kHeaderSize + static_cast<ULONG>((domainUnits + userUnits + passwordUnits) * sizeof(WCHAR));
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    // Zero first: the alignment gaps and LogonId must be zero, not heap leftovers.
    memset(block, 0, size);

    auto* logon = reinterpret_cast<KERB_INTERACTIVE_UNLOCK_LOGON*>(block);
    logon->Logon.MessageType = KerbInteractiveLogon;
    ULONG offset = kHeaderSize;
    PackString(&logon->Logon.LogonDomainName, block, &offset, computerName, domainUnits);
    PackString(&logon->Logon.UserName, block, &offset, accountName, userUnits);
    PackString(&logon->Logon.Password, block, &offset, password, passwordUnits);

    // A failed connection or lookup leaves package 0 and still hands out the block: the logon
    // machinery, not this routine, decides what an unknown package means.
    pcpcs->ulAuthenticationPackage = LookupKerberosPackage();
    pcpcs->clsidCredentialProvider = CLSID_QMCredProvider;
    pcpcs->cbSerialization = size;
    pcpcs->rgbSerialization = block;
    return S_OK;
}
