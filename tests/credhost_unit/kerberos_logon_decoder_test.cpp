#include "kerberos_logon_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Packs a logon block by hand in the 64-byte x86-64 layout, strings as offsets.
class LogonBlock {
public:
    LogonBlock(uint32_t messageType, const std::u16string& domain, const std::u16string& user,
               const std::u16string& password)
        : m_bytes(64, 0) {
        Put32(0, messageType);
        AddString(8, domain);
        AddString(24, user);
        AddString(40, password);
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
    DecodedLogon Decode(size_t size) const { return DecodeKerberosInteractiveLogon(m_bytes.data(), size); }
    DecodedLogon Decode() const { return Decode(m_bytes.size()); }
    size_t Size() const { return m_bytes.size(); }

private:
    void AddString(size_t header, const std::u16string& text) {
        const uint16_t bytes = static_cast<uint16_t>(text.size() * 2);
        Put16(header, bytes);
        Put16(header + 2, bytes);
        Put64(header + 8, m_bytes.size());
        for (char16_t unit : text) {
            m_bytes.push_back(static_cast<unsigned char>(unit));
            m_bytes.push_back(static_cast<unsigned char>(unit >> 8));
        }
    }
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
    EXPECT_NE(overlap.Decode().problem.find("overlaps the header"), std::string::npos);

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

}  // namespace
