#include "loader_search.h"

#include <windows.h>

#include <vector>

namespace {

std::wstring SystemFolder(decltype(&GetSystemDirectoryW) get) {
    wchar_t buffer[MAX_PATH];
    const UINT length = get(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring EnvironmentPath() {
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"PATH", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

}  // namespace

bool IsFullPath(const std::wstring& path) noexcept {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool share = path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/');
    return drive || share;
}

std::wstring FindDllAsLogonLoaderWould(const std::wstring& registeredPath) {
    if (registeredPath.empty() || IsFullPath(registeredPath)) {
        return registeredPath;
    }
    // The search list SearchPathW walks, in the loader's order for a program in the system
    // folder; a name with no extension gets ".dll", as LoadLibrary gives it.
    const std::wstring folders =
        SystemFolder(GetSystemDirectoryW) + L";" + SystemFolder(GetWindowsDirectoryW) + L";" + EnvironmentPath();
    std::vector<wchar_t> found(32768);
    const DWORD length = SearchPathW(folders.c_str(), registeredPath.c_str(), L".dll", static_cast<DWORD>(found.size()),
                                     found.data(), nullptr);
    if (length == 0 || length >= found.size()) {
        return {};
    }
    return std::wstring(found.data(), length);
}
