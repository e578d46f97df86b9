#include "text_file.h"

#include "base/unique_handle.h"

#include <bcrypt.h>

#include <cwchar>
#include <new>

HRESULT ReadWholeFile(PCWSTR path, size_t maxBytes, std::string& content) noexcept try {
    content.clear();
    KernelHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    content.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!content.empty() && !ReadFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr)) {
        const DWORD error = GetLastError();
        content.clear();
        return HRESULT_FROM_WIN32(error);
    }
    content.resize(read);
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

namespace {

// Attempts at a fresh name before giving up: a clash of 64 random bits means someone is guessing.
inline constexpr int kTemporaryNameAttempts = 4;

// PATH.<16 random hexadecimal digits>.tmp
HRESULT UnforeseeableTemporaryName(PCWSTR path, std::wstring& name) {
    UINT64 random = 0;
    const NTSTATUS status =
        BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof(random), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        return HRESULT_FROM_NT(status);
    }
    wchar_t suffix[24];
    swprintf(suffix, ARRAYSIZE(suffix), L".%016llx.tmp", static_cast<unsigned long long>(random));
    name = std::wstring(path) + suffix;
    return S_OK;
}

// Creates a new file at a fresh temporary name beside path, never opening one that exists.
HRESULT CreateTemporaryFile(PCWSTR path, SECURITY_ATTRIBUTES* security, std::wstring& name, KernelHandle& file) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const HRESULT hr = UnforeseeableTemporaryName(path, name);
        if (FAILED(hr)) {
            return hr;
        }
        file = KernelHandle(
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return S_OK;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return HRESULT_FROM_WIN32(error);
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

HRESULT WriteWhole(HANDLE file, const std::string& content) {
    DWORD written = 0;
    if (!WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    if (written != content.size()) {
        return E_FAIL;
    }
    return FlushFileBuffers(file) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

}  // namespace

HRESULT ReplaceFileContents(PCWSTR path, const std::string& content, SECURITY_ATTRIBUTES* security) noexcept try {
    std::wstring temporary;
    KernelHandle file;
    HRESULT hr = CreateTemporaryFile(path, security, temporary, file);
    if (FAILED(hr)) {
        return hr;
    }
    hr = WriteWhole(file.Get(), content);
    file = KernelHandle();
    if (SUCCEEDED(hr) && !MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        hr = HRESULT_FROM_WIN32(GetLastError());
    }
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
    }
    return hr;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
