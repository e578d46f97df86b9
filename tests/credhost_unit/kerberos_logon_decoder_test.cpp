#include "kerberos_logon_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Packs a logon block by hand, strings as offsets: in the x86-64 layout (the header's strings at
// 8, 24 and 40, their Buffer 8 bytes wide) or the x86 one (at 4, 12 and 20, 4 bytes wide), the
// bodies after a header of headerBytes (the whole unlock header, 64 or 36, unless given).
class LogonBlock {
public:
    LogonBlock(uint32_t messageType, const std::u16string& domain, const std::u16string& user,
               const std::u16string& password, LogonLayout layout = LogonLayout::X64, size_t headerBytes = 0)
        : m_layout(layout), m_bytes(headerBytes != 0 ? headerBytes : layout == LogonLayout::X64 ? 64 : 36, 0) {
        const bool x64 = layout == LogonLayout::X64;
        Put32(0, messageType);
        AddString(x64 ? 8 : 4, domain);
        AddString(x64 ? 24 : 12, user);
        AddString(x64 ? 40 : 20, password);
    }
    void Put16(size_t at, uint16_t value) {
        m_bytes[at] = static_cast<unsigned char>(value);
        m_bytes[at + 1] = static_cast<unsigned char>(value >> 8);
    }
    void Put32(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            m_bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    void Put64(size_t at, uint64_t value) {
        for (int i = 0; i < 8; ++i)
            m_bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    DecodedLogon Decode(size_t size) const { return DecodeKerberosInteractiveLogon(m_bytes.data(), size, m_layout); }
    DecodedLogon Decode() const { return Decode(m_bytes.size()); }
    size_t Size() const { return m_bytes.size(); }

private:
    void AddString(size_t header, const std::u16string& text) {
        const uint16_t bytes = static_cast<uint16_t>(text.size() * 2);
        Put16(header, bytes);
        Put16(header + 2, bytes);
        if (m_layout == LogonLayout::X64) {
            Put64(header + 8, m_bytes.size());
        } else {
            Put32(header + 4, static_cast<uint32_t>(m_bytes.size()));
        }
        for (char16_t unit : text) {
            m_bytes.push_back(static_cast<unsigned char>(unit));
            m_bytes.push_back(static_cast<unsigned char>(unit >> 8));
        }
    }
    LogonLayout m_layout;
    std::vector<unsigned char> m_bytes;
};

TEST(KerberosLogonDecoder, ReadsDomainUserAndOnlyThePasswordsLength) {
    const LogonBlock block(kKerbInteractiveLogon, u"HOST5", u"bob", u"p\u00e4ssw0rd");
    const DecodedLogon logon = block.Decode();
    ASSERT_TRUE(logon.decoded) << logon.problem;
    EXPECT_EQ(logon.messageType, kKerbInteractiveLogon);
    EXPECT_EQ(logon.domain.text, u"HOST5");
    EXPECT_EQ(logon.domain.offset, 64u);
    EXPECT_EQ(logon.userName.text, u"bob");
    EXPECT_EQ(logon.userName.offset, 74u);
    EXPECT_EQ(logon.password.length, 16);
    EXPECT_EQ(logon.password.offset, 80u);
    EXPECT_TRUE(logon.password.text.empty());
    EXPECT_TRUE(logon.hasLogonId);
    EXPECT_EQ(block.Size(), 96u);

    // Empty strings point where their body would begin, also at the very end of the block.
    const DecodedLogon empty = LogonBlock(kKerbWorkstationUnlockLogon, u"", u"u", u"").Decode();
    ASSERT_TRUE(empty.decoded) << empty.problem;
    EXPECT_EQ(empty.password.offset, 66u);
    EXPECT_STREQ(KerberosMessageTypeName(empty.messageType), "KerbWorkstationUnlockLogon");
}

TEST(KerberosLogonDecoder, RefusesBlocksWhoseStringsDoNotFitTheirBounds) {
    LogonBlock pastEnd(kKerbInteractiveLogon, u"D", u"user", u"pw");
    pastEnd.Put64(24 + 8, 90);  // user name body moved past the end
    EXPECT_NE(pastEnd.Decode().problem.find("UserName: offset 90"), std::string::npos);

    LogonBlock pointer(kKerbInteractiveLogon, u"D", u"user", u"pw");
    pointer.Put64(40 + 8, 0x00007FF612340000ull);  // an address instead of an offset
    EXPECT_FALSE(pointer.Decode().decoded);

    LogonBlock odd(kKerbInteractiveLogon, u"D", u"user", u"pw");
    odd.Put16(8, 1);
    EXPECT_NE(odd.Decode().problem.find("odd length"), std::string::npos);

    LogonBlock aboveMaximum(kKerbInteractiveLogon, u"D", u"user", u"pw");
    aboveMaximum.Put16(26, 2);
    EXPECT_NE(aboveMaximum.Decode().problem.find("above its maximum"), std::string::npos);

    LogonBlock maximumPastEnd(kKerbInteractiveLogon, u"D", u"user", u"pw");
    maximumPastEnd.Put16(40 + 2, 0xFFFE);
    EXPECT_NE(maximumPastEnd.Decode().problem.find("Password: maximum length 65534 runs past"), std::string::npos);

    LogonBlock wrapsAround(kKerbInteractiveLogon, u"D", u"user", u"pw");
    wrapsAround.Put64(24 + 8, ~0ull - 1);  // offset + length overflows 64 bits
    EXPECT_NE(wrapsAround.Decode().problem.find("UserName: offset"), std::string::npos);

    LogonBlock overlap(kKerbInteractiveLogon, u"D", u"user", u"pw");
    overlap.Put64(8 + 8, 8);
    EXPECT_NE(overlap.Decode().problem.find("overlaps the 56-byte header"), std::string::npos);

    // A short block never reads past its end, whatever its header claims.
    const LogonBlock whole(kKerbInteractiveLogon, u"D", u"user", u"pw");
    EXPECT_FALSE(whole.Decode(whole.Size() - 1).decoded);
    EXPECT_FALSE(whole.Decode(40).decoded);
    EXPECT_FALSE(whole.Decode(3).decoded);
    EXPECT_FALSE(DecodeKerberosInteractiveLogon(nullptr, 64).decoded);
    const DecodedLogon withoutLogonId = whole.Decode(56);
    EXPECT_FALSE(withoutLogonId.decoded);  // the bodies lie beyond 56

    const DecodedLogon certificate = LogonBlock(13, u"D", u"u", u"p").Decode();
    EXPECT_FALSE(certificate.decoded);
    EXPECT_EQ(certificate.messageType, 13u);
    EXPECT_STREQ(KerberosMessageTypeName(13), "KerbCertificateLogon");
}

// An unlock block carries LogonId after the strings, so it needs the whole header and its bodies
// start after it; an interactive block needs the header up to the strings only.
TEST(KerberosLogonDecoder, AnUnlockBlockNeedsItsWholeHeader) {
    const struct {
        const char* what;
        uint32_t messageType;
        LogonLayout layout;
        size_t headerBytes;
        bool bare;            // no string bodies: the block ends where its header does
        const char* problem;  // null: decodes
    } cases[] = {
        {"64-bit logon, 56-byte header", kKerbInteractiveLogon, LogonLayout::X64, 56, false, nullptr},
        {"64-bit unlock, 64-byte header", kKerbWorkstationUnlockLogon, LogonLayout::X64, 64, false, nullptr},
        {"64-bit unlock, bodies over LogonId", kKerbWorkstationUnlockLogon, LogonLayout::X64, 56, false,
         "LogonDomainName: body at offset 56 overlaps the 64-byte header"},
        {"64-bit unlock cut short of LogonId", kKerbWorkstationUnlockLogon, LogonLayout::X64, 56, true,
         "fewer than the 64-byte 64-bit unlock logon header"},
        {"32-bit logon, 28-byte header", kKerbInteractiveLogon, LogonLayout::X86, 28, false, nullptr},
        {"32-bit logon, header only", kKerbInteractiveLogon, LogonLayout::X86, 28, true, nullptr},
        {"32-bit unlock, 36-byte header", kKerbWorkstationUnlockLogon, LogonLayout::X86, 36, false, nullptr},
        {"32-bit unlock, bodies over LogonId", kKerbWorkstationUnlockLogon, LogonLayout::X86, 28, false,
         "LogonDomainName: body at offset 28 overlaps the 36-byte header"},
        {"32-bit unlock cut short of LogonId", kKerbWorkstationUnlockLogon, LogonLayout::X86, 28, true,
         "fewer than the 36-byte 32-bit unlock logon header"},
    };
    for (const auto& c : cases) {
        const std::u16string user = c.bare ? u"" : u"user";
        const LogonBlock block(c.messageType, c.bare ? u"" : u"D", user, c.bare ? u"" : u"pw", c.layout, c.headerBytes);
        const DecodedLogon logon = block.Decode();
        EXPECT_EQ(logon.decoded, c.problem == nullptr) << c.what << ": " << logon.problem;
        if (c.problem != nullptr) {
            EXPECT_NE(logon.problem.find(c.problem), std::string::npos) << c.what << ": " << logon.problem;
        } else {
            EXPECT_EQ(logon.userName.text, user) << c.what;
        }
    }
}

}  // namespace
