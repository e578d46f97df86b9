// Reads back a packed KERB_INTERACTIVE_UNLOCK_LOGON: a header whose UNICODE_STRING Buffer fields
// hold offsets from the block's start, then the string bodies. The header has the layout of a
// 64-bit process (64 bytes), or of a 32-bit one (36 bytes) when the host asked for it with
// CREDUIWIN_PACK_32_WOW. A KerbWorkstationUnlockLogon block needs that whole header, LogonId
// included; a KerbInteractiveLogon block needs the header up to the strings (56 or 28 bytes).
// No string body may start inside the header its message type needs. The bytes come from the
// provider under test, so every length and offset is checked against the block before anything
// is read. Portable code: no Windows call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint32_t kKerbInteractiveLogon = 2;
inline constexpr uint32_t kKerbWorkstationUnlockLogon = 7;

// The credential prompt's flag that asks for the 32-bit layout (wincred.h's value).
inline constexpr uint32_t kCredUiPack32Wow = 0x10000000;

enum class LogonLayout { X64, X86 };

struct PackedLogonString {
    uint16_t length = 0;         // bytes
    uint16_t maximumLength = 0;  // bytes
    uint64_t offset = 0;         // the Buffer field
    std::u16string text;         // the body; left empty for the password
};

struct DecodedLogon {
    LogonLayout layout = LogonLayout::X64;
    bool decoded = false;
    std::string problem;  // why decoded is false
    uint32_t messageType = 0;
    PackedLogonString domain;
    PackedLogonString userName;
    PackedLogonString password;  // text never filled: only its length is reported
    bool hasLogonId = false;     // the block is long enough for the unlock form's LogonId
    uint64_t logonId = 0;
};

// Decodes size bytes at data in the given layout. Message types other than KerbInteractiveLogon
// and KerbWorkstationUnlockLogon are reported with decoded false.
DecodedLogon DecodeKerberosInteractiveLogon(const unsigned char* data, size_t size,
                                            LogonLayout layout = LogonLayout::X64);

// The layout a provider must pack for the usage scenario's flags.
LogonLayout LogonLayoutForFlags(uint32_t usageFlags);

// "64-bit" or "32-bit".
const char* LogonLayoutName(LogonLayout layout);

// Name of a KERB_LOGON_SUBMIT_TYPE value ("KerbInteractiveLogon"), or "" when unknown.
const char* KerberosMessageTypeName(uint32_t messageType);
