#include "kerberos_logon_decoder.h"

namespace {

// Where each layout keeps the header's fields.
struct HeaderLayout {
    size_t interactiveLogonBytes;  // KERB_INTERACTIVE_LOGON
    size_t unlockLogonBytes;       // ... followed by the LUID LogonId
    size_t stringAt[3];            // LogonDomainName, UserName, Password
    size_t bufferAt;               // within a UNICODE_STRING, after Length and MaximumLength
    size_t bufferBytes;
};
constexpr HeaderLayout kHeader64 = {56, 64, {8, 24, 40}, 8, 8};
constexpr HeaderLayout kHeader32 = {28, 36, {4, 12, 20}, 4, 4};

uint16_t ReadU16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t ReadU32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

uint64_t ReadU64(const unsigned char* at) {
    return static_cast<uint64_t>(ReadU32(at)) | static_cast<uint64_t>(ReadU32(at + 4)) << 32;
}

// UNICODE_STRING at headerOffset: Length, MaximumLength, then Buffer where the layout puts it. A
// body may not start inside the header's headerBytes.
bool ReadPackedString(const unsigned char* data, size_t size, const HeaderLayout& layout, size_t headerBytes,
                      size_t headerOffset, const char* name, bool keepText, PackedLogonString& out,
                      std::string& problem) {
    out.length = ReadU16(data + headerOffset);
    out.maximumLength = ReadU16(data + headerOffset + 2);
    const unsigned char* buffer = data + headerOffset + layout.bufferAt;
    out.offset = layout.bufferBytes == 8 ? ReadU64(buffer) : ReadU32(buffer);
    if (out.length % 2 != 0) {
        problem = std::string(name) + ": odd length " + std::to_string(out.length);
        return false;
    }
    if (out.length > out.maximumLength) {
        problem = std::string(name) + ": length above its maximum length";
        return false;
    }
    if (out.offset > size || out.length > size - out.offset) {
        problem = std::string(name) + ": offset " + std::to_string(out.offset) + " and length " +
                  std::to_string(out.length) + " run past the end of the " + std::to_string(size) +
                  "-byte block (Buffer not packed as an offset?)";
        return false;
    }
    // The logon machinery may treat the whole MaximumLength as the string's buffer.
    if (out.maximumLength > size - out.offset) {
        problem = std::string(name) + ": maximum length " + std::to_string(out.maximumLength) +
                  " runs past the end of the block";
        return false;
    }
    if (out.length != 0 && out.offset < headerBytes) {
        problem = std::string(name) + ": body at offset " + std::to_string(out.offset) + " overlaps the " +
                  std::to_string(headerBytes) + "-byte header";
        return false;
    }
    if (keepText) {
        const unsigned char* body = data + out.offset;
        for (size_t i = 0; i < out.length; i += 2) {
            out.text.push_back(static_cast<char16_t>(ReadU16(body + i)));
        }
    }
    return true;
}

}  // namespace

DecodedLogon DecodeKerberosInteractiveLogon(const unsigned char* data, size_t size, LogonLayout layout) {
    DecodedLogon logon;
    logon.layout = layout;
    const HeaderLayout& header = layout == LogonLayout::X86 ? kHeader32 : kHeader64;
    if (data == nullptr || size < 4) {
        logon.problem = "the block is too short for a message type";
        return logon;
    }
    logon.messageType = ReadU32(data);
    if (logon.messageType != kKerbInteractiveLogon && logon.messageType != kKerbWorkstationUnlockLogon) {
        logon.problem = "message type " + std::to_string(logon.messageType) + " is not an interactive logon";
        return logon;
    }
    // An unlock block's header goes on past the strings to its LogonId, which the unlock screen
    // reads: it is part of the header that must be whole and that no body may overlap.
    const bool unlock = logon.messageType == kKerbWorkstationUnlockLogon;
    const size_t headerBytes = unlock ? header.unlockLogonBytes : header.interactiveLogonBytes;
    if (size < headerBytes) {
        logon.problem = "the block has " + std::to_string(size) + " bytes, fewer than the " +
                        std::to_string(headerBytes) + "-byte " + LogonLayoutName(layout) +
                        (unlock ? " unlock logon header" : " logon header");
        return logon;
    }
    if (!ReadPackedString(data, size, header, headerBytes, header.stringAt[0], "LogonDomainName", true, logon.domain,
                          logon.problem) ||
        !ReadPackedString(data, size, header, headerBytes, header.stringAt[1], "UserName", true, logon.userName,
                          logon.problem) ||
        !ReadPackedString(data, size, header, headerBytes, header.stringAt[2], "Password", false, logon.password,
                          logon.problem)) {
        return logon;
    }
    logon.hasLogonId = size >= header.unlockLogonBytes;
    if (logon.hasLogonId) {
        logon.logonId = ReadU64(data + header.interactiveLogonBytes);
    }
    logon.decoded = true;
    return logon;
}

LogonLayout LogonLayoutForFlags(uint32_t usageFlags) {
    return (usageFlags & kCredUiPack32Wow) != 0 ? LogonLayout::X86 : LogonLayout::X64;
}

const char* LogonLayoutName(LogonLayout layout) { return layout == LogonLayout::X86 ? "32-bit" : "64-bit"; }

const char* KerberosMessageTypeName(uint32_t messageType) {
    switch (messageType) {
    case 2: return "KerbInteractiveLogon";
    case 6: return "KerbSmartCardLogon";
    case 7: return "KerbWorkstationUnlockLogon";
    case 8: return "KerbSmartCardUnlockLogon";
    case 13: return "KerbCertificateLogon";
    case 14: return "KerbCertificateS4ULogon";
    case 15: return "KerbCertificateUnlockLogon";
    default: return "";
    }
}
