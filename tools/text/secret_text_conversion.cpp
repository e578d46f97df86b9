#include "secret_text_conversion.h"

#include <climits>

HRESULT SecretWideFromUtf8(const char* utf8, size_t count, SecretWide& wide) noexcept try {
    wide.clear();
    if (count > INT_MAX) {
        return E_INVALIDARG;
    }
    const int length = static_cast<int>(count);
    if (length == 0) {
        wide.push_back(L'\0');
        return S_OK;
    }
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, nullptr, 0);
    if (units <= 0) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    wide.resize(static_cast<size_t>(units) + 1);
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, wide.data(), units) != units) {
        wide.clear();
        return E_FAIL;
    }
    wide[static_cast<size_t>(units)] = L'\0';
    return S_OK;
} catch (const std::bad_alloc&) {
    wide.clear();
    return E_OUTOFMEMORY;
}

HRESULT SecretUtf8FromWide(PCWSTR wide, SecretBytes& utf8) noexcept try {
    utf8.clear();
    if (wide == nullptr) {
        return E_INVALIDARG;
    }
    if (wide[0] == L'\0') {
        return S_OK;
    }
    // With -1 the count includes the terminator, which is converted and then dropped.
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    utf8.resize(static_cast<size_t>(bytes));
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, utf8.data(), bytes, nullptr, nullptr) != bytes) {
        utf8.clear();
        return E_FAIL;
    }
    utf8.pop_back();
    return S_OK;
} catch (const std::bad_alloc&) {
    utf8.clear();
    return E_OUTOFMEMORY;
}
