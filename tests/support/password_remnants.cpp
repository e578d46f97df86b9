#include "support/password_remnants.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::size_t kWindowCharacters = 24;

// The UTF-16 little-endian bytes of an ASCII password, masked like the password itself.
MaskedPattern Utf16Of(const MaskedPattern& password) {
    std::string masked;
    masked.reserve(password.Size() * 2);
    for (std::size_t i = 0; i < password.Size(); ++i) {
        masked.push_back(static_cast<char>(password.PlainAt(i) ^ MaskedPattern::kMask));
        masked.push_back(static_cast<char>(MaskedPattern::kMask));
    }
    return MaskedPattern::FromMasked(std::move(masked));
}

}  // namespace

MaskedPattern MakePassword(std::size_t length, unsigned seed) {
    std::string masked(length, '\0');
    unsigned state = seed;
    for (char& c : masked) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(('A' + (state >> 16) % 26) ^ MaskedPattern::kMask);
    }
    return MaskedPattern::FromMasked(std::move(masked));
}

WidePassword::WidePassword(const MaskedPattern& password) : m_text(password.Size(), L'\0') {
    for (std::size_t i = 0; i < m_text.size(); ++i) {
        m_text[i] = static_cast<unsigned char>(password.PlainAt(i));
    }
}

WidePassword::~WidePassword() { SecureZeroMemory(m_text.data(), m_text.size() * sizeof(wchar_t)); }

PasswordWindows::PasswordWindows(const MaskedPattern& password)
    : head(password.Slice(16, kWindowCharacters)),
      middle(password.Slice(password.Size() / 2, kWindowCharacters)),
      wideHead(Utf16Of(head)),
      wideMiddle(Utf16Of(middle)) {}

std::size_t PasswordWindows::Utf8Copies() const {
    return std::max(head.CountInProcessMemory(), middle.CountInProcessMemory());
}

std::size_t PasswordWindows::Utf16Copies() const {
    return std::max(wideHead.CountInProcessMemory(), wideMiddle.CountInProcessMemory());
}

void ExpectNoRemnant(const PasswordWindows& windows) {
    EXPECT_EQ(windows.Utf8Copies(), 0u);
    EXPECT_EQ(windows.Utf16Copies(), 0u);
}
