#include "password_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

std::string Hex(const PasswordHash& hash) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (BYTE b : hash) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

TEST(PasswordHash, MatchesPublishedPbkdf2HmacSha256Vectors) {
    // RFC 7914 section 11 (first 32 bytes), and a vector at the agent's default cost.
    PasswordHash hash{};
    ASSERT_EQ(DerivePasswordHash("passwd", 6, Bytes("salt"), 1, hash), S_OK);
    EXPECT_EQ(Hex(hash), "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc");
    ASSERT_EQ(DerivePasswordHash("Password", 8, Bytes("NaCl"), kDefaultHashIterations, hash), S_OK);
    EXPECT_EQ(Hex(hash), "68276d5228e32832bf66694dd04dbcc9693efecb0af5ec7c189127f880e3a0b8");
}

TEST(PasswordHash, SaltAndIterationsChangeTheHashAndBadInputIsRefused) {
    PasswordHash first{}, second{}, third{};
    ASSERT_EQ(DerivePasswordHash("secret", 6, Bytes("salt-one"), 10, first), S_OK);
    ASSERT_EQ(DerivePasswordHash("secret", 6, Bytes("salt-two"), 10, second), S_OK);
    ASSERT_EQ(DerivePasswordHash("secret", 6, Bytes("salt-one"), 11, third), S_OK);
    EXPECT_FALSE(PasswordHashesEqual(first, second));
    EXPECT_FALSE(PasswordHashesEqual(first, third));

    EXPECT_EQ(DerivePasswordHash("secret", 6, Bytes("salt"), 0, first), E_INVALIDARG);
    EXPECT_EQ(DerivePasswordHash("secret", 6, {}, 10, first), E_INVALIDARG);
    EXPECT_EQ(DerivePasswordHash(nullptr, 6, Bytes("salt"), 10, first), E_INVALIDARG);
}

TEST(PasswordHash, ComparisonLooksAtEveryByteAndSaltsAreFresh) {
    PasswordHash left{}, right{};
    left.fill(0x11);
    right = left;
    EXPECT_TRUE(PasswordHashesEqual(left, right));
    right.front() ^= 1;
    EXPECT_FALSE(PasswordHashesEqual(left, right));
    right = left;
    right.back() ^= 0x80;
    EXPECT_FALSE(PasswordHashesEqual(left, right));

    std::vector<BYTE> salt1, salt2;
    ASSERT_EQ(GeneratePasswordSalt(salt1), S_OK);
    ASSERT_EQ(GeneratePasswordSalt(salt2), S_OK);
    EXPECT_EQ(salt1.size(), kPasswordSaltBytes);
    EXPECT_NE(salt1, salt2);
}

}  // namespace
