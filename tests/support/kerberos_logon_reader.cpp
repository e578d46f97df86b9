#include "support/kerberos_logon_reader.h"

#include <ntsecapi.h>

namespace {

ULONG64 ReadLittleEndian(const BYTE* bytes, size_t count) {
    ULONG64 value = 0;
    for (size_t i = count; i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

void ExpectZeroGap(const BYTE* block, size_t from, size_t to, const char* name, std::string& faults) {
    if (from < to && ReadLittleEndian(block + from, to - from) != 0) {
        faults += std::string(name) + ": alignment gap not zero\n";
    }
}

PackedLogonString ReadString(const BYTE* block, size_t size, const PackedLogonLayout& layout, size_t at,
                             const char* name, std::string& faults) {
    PackedLogonString field;
    field.length = static_cast<USHORT>(ReadLittleEndian(block + at, 2));
    field.maximumLength = static_cast<USHORT>(ReadLittleEndian(block + at + 2, 2));
    field.offset = ReadLittleEndian(block + at + layout.bufferAt, layout.bufferSize);
    ExpectZeroGap(block, at + 4, at + layout.bufferAt, name, faults);
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

PackedLogon ReadPackedLogon(const BYTE* block, size_t size, const PackedLogonLayout& layout) {
    PackedLogon logon;
    if (block == nullptr || size < layout.headerSize) {
        logon.faults = std::string("block shorter than the ") + layout.name + " header\n";
        return logon;
    }
    logon.messageType = static_cast<ULONG>(ReadLittleEndian(block, 4));
    ExpectZeroGap(block, 4, layout.stringAt[0], "MessageType", logon.faults);
    const char* names[] = {"LogonDomainName", "UserName", "Password"};
    PackedLogonString* bodies[] = {&logon.domain, &logon.userName, &logon.password};
    for (size_t i = 0; i < 3; ++i) {
        *bodies[i] = ReadString(block, size, layout, layout.stringAt[i], names[i], logon.faults);
    }
    logon.logonId = ReadLittleEndian(block + layout.logonIdAt, 8);

    ULONG64 expected = layout.headerSize;
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
