#include "secret_line_reader.h"

#include "secret_text_conversion.h"

#include <algorithm>
#include <new>

namespace {

// Puts the console's input mode back on every path out of the read, echo included.
class ConsoleModeRestorer {
public:
    ConsoleModeRestorer(HANDLE console, DWORD mode) noexcept : m_console(console), m_mode(mode) {}
    ~ConsoleModeRestorer() { SetConsoleMode(m_console, m_mode); }
    ConsoleModeRestorer(const ConsoleModeRestorer&) = delete;
    ConsoleModeRestorer& operator=(const ConsoleModeRestorer&) = delete;

private:
    HANDLE m_console;
    DWORD m_mode;
};

void WriteToStandardError(PCWSTR text) noexcept {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
        return;
    }
    char utf8[512];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    if (bytes > 1) {
        WriteFile(error, utf8, static_cast<DWORD>(bytes - 1), &written, nullptr);
    }
}

void DropLineBreak(SecretWide& line) noexcept {
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) {
        line.pop_back();
    }
}

HRESULT ReadConsoleSecret(HANDLE input, DWORD mode, PCWSTR prompt, SecretWide& secret) {
    WriteToStandardError(prompt);
    ConsoleModeRestorer restorer(input, mode);
    SetConsoleMode(input, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);

    secret.reserve(kMaxSecretUnits + 2);
    HRESULT hr = S_OK;
    for (;;) {
        wchar_t chunk[64];
        DWORD read = 0;
        if (!ReadConsoleW(input, chunk, ARRAYSIZE(chunk), &read, nullptr)) {
            hr = HRESULT_FROM_WIN32(GetLastError());
            break;
        }
        secret.insert(secret.end(), chunk, chunk + read);
        SecureZeroMemory(chunk, sizeof(chunk));
        if (read == 0 || secret.back() == L'\n') {
            break;
        }
        if (std::find(secret.begin(), secret.end(), L'\0') != secret.end()) {
            hr = kSecretLineHasNul;
            break;
        }
        if (secret.size() > kMaxSecretUnits + 2) {
            hr = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
            break;
        }
    }
    // Echo was off, so the user's Enter left the cursor on the prompt line.
    WriteToStandardError(L"\r\n");
    DropLineBreak(secret);
    if (SUCCEEDED(hr) && secret.size() > kMaxSecretUnits) {
        hr = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (SUCCEEDED(hr) && std::find(secret.begin(), secret.end(), L'\0') != secret.end()) {
        hr = kSecretLineHasNul;
    }
    if (FAILED(hr)) {
        secret.clear();
        return hr;
    }
    secret.push_back(L'\0');
    return S_OK;
}

// Byte by byte, so that nothing after the line is taken from the pipe.
HRESULT ReadPipedSecret(HANDLE input, SecretWide& secret) {
    SecretBytes line;
    line.reserve(4 * kMaxSecretUnits + 2);
    for (bool first = true;; first = false) {
        char byte = 0;
        DWORD read = 0;
        if (!ReadFile(input, &byte, 1, &read, nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF) {
                return HRESULT_FROM_WIN32(error);
            }
            read = 0;
        }
        if (read == 0 && first) {
            return kSecretLineMissing;
        }
        if (read == 0 || byte == '\n') {
            break;
        }
        if (line.size() == 4 * kMaxSecretUnits + 1) {
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        // Every later C call would end the secret here: "abc\0anything" would sign in as "abc".
        if (byte == '\0') {
            return kSecretLineHasNul;
        }
        line.push_back(byte);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const HRESULT hr = SecretWideFromUtf8(line.data(), line.size(), secret);
    if (FAILED(hr)) {
        return hr;
    }
    if (secret.size() > kMaxSecretUnits + 1) {
        secret.clear();
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    return S_OK;
}

}  // namespace

static_assert(kMaxSecretUnits == 1024, "the error text names the limit");

HRESULT ReadSecretLine(PCWSTR prompt, SecretWide& secret) noexcept try {
    secret.clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
    }
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        return ReadConsoleSecret(input, mode, prompt, secret);
    }
    return ReadPipedSecret(input, secret);
} catch (const std::bad_alloc&) {
    secret.clear();
    return E_OUTOFMEMORY;
}

const char* SecretLineErrorText(HRESULT hr) noexcept {
    if (hr == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)) {
        return "the password is too long (at most 1024 characters)";
    }
    if (hr == kSecretLineMissing) {
        return "no password was given: standard input is empty (an empty password is an empty line)";
    }
    if (hr == kSecretLineHasNul) {
        return "the password holds a NUL character, which no password can hold";
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)) {
        return "the password is not valid UTF-8";
    }
    return "cannot read the password from standard input";
}
