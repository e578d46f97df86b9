#include "password_hash.h"

#include <bcrypt.h>

#include <climits>
#include <new>

namespace {

class AlgorithmProvider {
public:
    AlgorithmProvider() noexcept = default;
    ~AlgorithmProvider() {
        if (m_handle != nullptr) {
            BCryptCloseAlgorithmProvider(m_handle, 0);
        }
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;

    BCRYPT_ALG_HANDLE* Receive() noexcept { return &m_handle; }
    BCRYPT_ALG_HANDLE Get() const noexcept { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

HRESULT HResultFromNtStatus(NTSTATUS status) noexcept { return status >= 0 ? S_OK : HRESULT_FROM_NT(status); }

}  // namespace

HRESULT DerivePasswordHash(const char* password, size_t size, const std::vector<BYTE>& salt, ULONG iterations,
                           PasswordHash& hash) noexcept {
    if ((password == nullptr && size != 0) || size > ULONG_MAX || salt.empty() || salt.size() > ULONG_MAX ||
        iterations == 0) {
        return E_INVALIDARG;
    }
    AlgorithmProvider hmac;
    HRESULT hr = HResultFromNtStatus(
        BCryptOpenAlgorithmProvider(hmac.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG));
    if (FAILED(hr)) {
        return hr;
    }
    // bcrypt takes the password as a non-const pointer but does not write to it.
    PUCHAR passwordBytes = reinterpret_cast<PUCHAR>(const_cast<char*>(password));
    return HResultFromNtStatus(BCryptDeriveKeyPBKDF2(hmac.Get(), passwordBytes, static_cast<ULONG>(size),
                                                     const_cast<PUCHAR>(salt.data()), static_cast<ULONG>(salt.size()),
                                                     iterations, hash.data(), static_cast<ULONG>(hash.size()), 0));
}

HRESULT GeneratePasswordSalt(std::vector<BYTE>& salt) noexcept try {
    salt.assign(kPasswordSaltBytes, 0);
    return HResultFromNtStatus(
        BCryptGenRandom(nullptr, salt.data(), static_cast<ULONG>(salt.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

bool PasswordHashesEqual(const PasswordHash& left, const PasswordHash& right) noexcept {
    // Every byte is looked at; volatile keeps the compiler from ending the loop early.
    volatile BYTE difference = 0;
    for (size_t i = 0; i < kPasswordHashBytes; ++i) {
        difference = static_cast<BYTE>(difference | (left[i] ^ right[i]));
    }
    return difference == 0;
}
