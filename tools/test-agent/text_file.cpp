#include "text_file.h"

#include "base/unique_handle.h"

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

HRESULT ReplaceFileContents(PCWSTR path, const std::string& content) noexcept try {
    const std::wstring temporary = std::wstring(path) + L".tmp";
    HRESULT hr = S_OK;
    {
        KernelHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
            written != content.size()) {
            hr = E_FAIL;
        } else if (!FlushFileBuffers(file.Get())) {
            hr = HRESULT_FROM_WIN32(GetLastError());
        }
    }
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
