#include "result_text.h"

#include "base/local_memory.h"
#include "utf8_conversion.h"
#include "win32_error_name.h"

#include <cstdio>

std::string HResultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string Win32ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const LocalMemory owned(text);
    std::wstring message = length != 0 ? std::wstring(text, length) : L"";
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
        message.pop_back();
    }
    return (message.empty() ? "" : Utf8FromWide(message) + ", ") + Win32ErrorNumberText(error);
}

std::string FailureText(HRESULT hr) {
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? Win32ErrorText(HRESULT_CODE(hr)) : HResultText(hr);
}
