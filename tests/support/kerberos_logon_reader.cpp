#include "support/kerberos_logon_reader.h"

#include <ntsecapi.h>

namespace {

constexpr size_t kHeaderSize = 64;

ULONG64 ReadLittleEndian(const BYTE* bytes, size_t count) {
    ULONG64 value = 0;
    for (size_t i = count; i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

// A UNICODE_STRING of the header: Length at +0, MaximumLength at +2, four bytes of gap, and the
// body's offset at +8.
PackedLogonString ReadString(const BYTE* block, size_t size, size_t at, const char* name, std::string& faults) {
    PackedLogonString field;
    field.length = static_cast<USHORT>(ReadLittleEndian(block + at, 2));
    field.maximumLength = static_cast<USHORT>(ReadLittleEndian(block + at + 2, 2));
    field.offset = ReadLittleEndian(block + at + 8, 8);
    if (ReadLittleEndian(block + at + 4, 4) != 0) {
        faults += std::string(name) + ": alignment gap not zero\n";
    }
    if (field.length != field.maximumLength) {
        faults += std::string(name) + ": Length differs from MaximumLength\n";
    }
    if (field.length % 2 != 0) {
        faults += std::string(name) + ": odd Length\n";
    }
    if (field.offset > size || size - field.offset < field.length) {
        faults += std::string(name) + ": body outside the block\n";
        return field;
    }
    for (size_t i = 0; i + 2 <= field.length; i += 2) {
        field.text.push_back(static_cast<wchar_t>(ReadLittleEndian(block + field.offset + i, 2)));
    }
    return field;
}

}  // namespace

PackedLogon ReadPackedLogon(const BYTE* block, size_t size) {
    PackedLogon logon;
    if (block == nullptr || size < kHeaderSize) {
        logon.faults = "block shorter than the 64-byte header\n";
        return logon;
    }
    logon.messageType = static_cast<ULONG>(ReadLittleEndian(block, 4));
    if (ReadLittleEndian(block + 4, 4) != 0) {
        logon.faults += "MessageType: alignment gap not zero\n";
    }
    logon.domain = ReadString(block, size, 8, "LogonDomainName", logon.faults);
    logon.userName = ReadString(block, size, 24, "UserName", logon.faults);
    logon.password = ReadString(block, size, 40, "Password", logon.faults);
    logon.logonId = ReadLittleEndian(block + 56, 8);

    ULONG64 expected = kHeaderSize;
    const PackedLogonString* bodies[] = {&logon.domain, &logon.userName, &logon.password};
    const char* names[] = {"LogonDomainName", "UserName", "Password"};
    for (size_t i = 0; i < 3; ++i) {
        if (bodies[i]->offset != expected) {
            logon.faults += std::string(names[i]) + ": body not right after the previous one\n";
        }
        expected = bodies[i]->offset + bodies[i]->length;
    }
    if (expected != size) {
        logon.faults += "block does not end with the password body\n";
    }
    return logon;
}

std::wstring LocalComputerName() {
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) {
        return L"";
    }
    return name;
}

ULONG KerberosPackageFromLsa() {
    HANDLE lsa = nullptr;
    if (LsaConnectUntrusted(&lsa) != 0) {
        return 0;
    }
    char name[] = "Kerberos";
    LSA_STRING packageName = {8, 9, name};
    ULONG package = 0;
    LsaLookupAuthenticationPackage(lsa, &packageName, &package);
    LsaDeregisterLogonProcess(lsa);
    return package;
}
