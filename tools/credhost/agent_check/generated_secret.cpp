#include "generated_secret.h"

#include <windows.h>
#include <bcrypt.h>

#include "base/secure_bytes.h"

namespace {

bool RandomFrom(const wchar_t* alphabet, size_t alphabetSize, size_t units, wchar_t* out) {
    SecureBytes random(units);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(random.data()),
                                        static_cast<ULONG>(random.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return false;
    }
    for (size_t i = 0; i < units; ++i) {
        out[i] = alphabet[static_cast<unsigned char>(random[i]) % alphabetSize];
    }
    return true;
}

}  // namespace

bool GenerateSecret(size_t units, SecretWide& secret) {
    static const wchar_t kAlphabet[] = L"ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    secret.assign(units + 1, L'\0');
    return RandomFrom(kAlphabet, ARRAYSIZE(kAlphabet) - 1, units, secret.data());
}

std::wstring GenerateUnknownName() {
    static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz";
    std::wstring name(12, L'\0');
    if (!RandomFrom(kLetters, ARRAYSIZE(kLetters) - 1, name.size(), name.data())) {
        return {};
    }
    return L"qm-check-" + name;
}
