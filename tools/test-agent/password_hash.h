// Salted password hashes for the users file: PBKDF2 with HMAC-SHA256 from the platform's
// bcrypt.dll, with the iteration count stored per user.
#pragma once

#include <windows.h>

#include <array>
#include <vector>

inline constexpr size_t kPasswordHashBytes = 32;
inline constexpr size_t kPasswordSaltBytes = 16;
inline constexpr ULONG kDefaultHashIterations = 100000;
// The range a users file may give. The top bounds the cost of every request, since every check
// of credentials is made to cost as much as the costliest user.
inline constexpr ULONG kMinHashIterations = 1;
inline constexpr ULONG kMaxHashIterations = 10000000;

using PasswordHash = std::array<BYTE, kPasswordHashBytes>;

// Derives the hash of size bytes of password (UTF-8) with salt and iterations (at least 1).
// Returns S_OK, E_INVALIDARG, or the platform's failure as an HRESULT.
HRESULT DerivePasswordHash(const char* password, size_t size, const std::vector<BYTE>& salt, ULONG iterations,
                           PasswordHash& hash) noexcept;

// A fresh random salt of kPasswordSaltBytes from the system's generator.
HRESULT GeneratePasswordSalt(std::vector<BYTE>& salt) noexcept;

// Compares two hashes in time that does not depend on where they differ.
bool PasswordHashesEqual(const PasswordHash& left, const PasswordHash& right) noexcept;
