#include "kerberos_logon_decoder.h"

namespace {

inline constexpr size_t kInteractiveLogonBytes = 56;  // KERB_INTERACTIVE_LOGON
inline constexpr size_t kUnlockLogonBytes = 64;       // ... followed by the LUID LogonId

uint16_t ReadU16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t ReadU32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

uint64_t ReadU64(const unsigned char* at) {
    return static_cast<uint64_t>(ReadU32(at)) | static_cast<uint64_t>(ReadU32(at + 4)) << 32;
}

// UNICODE_STRING at headerOffset: Length, MaximumLength, 4 bytes of padding, Buffer.
bool ReadPackedString(const unsigned char* data, size_t size, size_t headerOffset, const char* name, bool keepText,
                      PackedLogonString& out, std::string& problem) {
    out.length = ReadU16(data + headerOffset);
    out.maximumLength = ReadU16(data + headerOffset + 2);
    out.offset = ReadU64(data + headerOffset + 8);
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
    if (out.length != 0 && out.offset < kInteractiveLogonBytes) {
        problem = std::string(name) + ": body at offset " + std::to_string(out.offset) + " overlaps the header";
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

DecodedLogon DecodeKerberosInteractiveLogon(const unsigned char* data, size_t size) {
    DecodedLogon logon;
    if (data == nullptr || size < 4) {
        logon.problem = "the block is too short for a message type";
        return logon;
    }
    logon.messageType = ReadU32(data);
    if (logon.messageType != kKerbInteractiveLogon && logon.messageType != kKerbWorkstationUnlockLogon) {
        logon.problem = "message type " + std::to_string(logon.messageType) + " is not an interactive logon";
        return logon;
    }
    if (size < kInteractiveLogonBytes) {
        logon.problem = "the block has " + std::to_string(size) + " bytes, fewer than the 56-byte logon header";
        return logon;
    }
    if (!ReadPackedString(data, size, 8, "LogonDomainName", true, logon.domain, logon.problem) ||
        !ReadPackedString(data, size, 24, "UserName", true, logon.userName, logon.problem) ||
        !ReadPackedString(data, size, 40, "Password", false, logon.password, logon.problem)) {
        return logon;
    }
    logon.hasLogonId = size >= kUnlockLogonBytes;
    if (logon.hasLogonId) {
        logon.logonId = ReadU64(data + kInteractiveLogonBytes);
    }
    logon.decoded = true;
    return logon;
}

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
