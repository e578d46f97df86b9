#include "agent_service_command_line.h"

#include <new>

HRESULT AbsolutePath(const std::wstring& path, std::wstring& absolute) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    absolute.assign(size, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), size, absolute.data(), nullptr);
    if (written == 0 || written >= size) {
        return E_FAIL;
    }
    absolute.resize(written);
    return S_OK;
}

std::wstring QuotedArgument(const std::wstring& text) {
    // Backslashes are literal unless they precede a quotation mark: then each is doubled, and so
    // are those before the closing mark.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"') {
                quoted.append(backslashes + 1, L'\\');
            }
            backslashes = 0;
        }
        quoted.push_back(c);
    }
    quoted.append(backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

HRESULT AgentServiceCommandLine(const std::wstring& exe, const std::wstring& usersPath, const std::wstring& logPath,
                                std::wstring& commandLine) noexcept try {
    std::wstring users;
    HRESULT hr = AbsolutePath(usersPath, users);
    if (FAILED(hr)) {
        return hr;
    }
    commandLine = QuotedArgument(exe) + L" service run --users " + QuotedArgument(users);
    if (logPath.empty()) {
        return S_OK;
    }
    std::wstring log;
    hr = AbsolutePath(logPath, log);
    if (FAILED(hr)) {
        return hr;
    }
    commandLine += L" --log " + QuotedArgument(log);
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
