// Reads back a packed KERB_INTERACTIVE_UNLOCK_LOGON (x86-64 layout: a 64-byte header whose
// UNICODE_STRING Buffer fields hold offsets from the block's start, then the string bodies).
// The bytes come from the provider under test, so every length and offset is checked against
// the block before anything is read. Portable code: no Windows call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint32_t kKerbInteractiveLogon = 2;
inline constexpr uint32_t kKerbWorkstationUnlockLogon = 7;

struct PackedLogonString {
    uint16_t length = 0;         // bytes
    uint16_t maximumLength = 0;  // bytes
    uint64_t offset = 0;         // the Buffer field
    std::u16string text;         // the body; left empty for the password
};

struct DecodedLogon {
    bool decoded = false;
    std::string problem;  // why decoded is false
    uint32_t messageType = 0;
    PackedLogonString domain;
    PackedLogonString userName;
    PackedLogonString password;  // text never filled: only its length is reported
    bool hasLogonId = false;     // the block is long enough for the unlock form's LogonId
    uint64_t logonId = 0;
};

// Decodes size bytes at data. Message types other than KerbInteractiveLogon and
// KerbWorkstationUnlockLogon are reported with decoded false.
DecodedLogon DecodeKerberosInteractiveLogon(const unsigned char* data, size_t size);

// Name of a KERB_LOGON_SUBMIT_TYPE value ("KerbInteractiveLogon"), or "" when unknown.
const char* KerberosMessageTypeName(uint32_t messageType);
