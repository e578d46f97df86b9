#include "request_log_file.h"

#include <new>

HRESULT RequestLogFile::Open(const std::wstring& path) noexcept {
    m_file = KernelHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void RequestLogFile::Append(const std::string& line) noexcept try {
    if (!m_file) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
} catch (const std::bad_alloc&) {
}
