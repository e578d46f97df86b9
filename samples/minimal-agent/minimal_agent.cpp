// minimal-agent: the smallest correct qm-agent, to copy and fill in.
//
// It serves \\.\pipe\quillmere-agent-auth as docs/agent-guide.md says: an owner and DACL the
// module trusts, FILE_FLAG_FIRST_PIPE_INSTANCE, PIPE_REJECT_REMOTE_CLIENTS, overlapped
// message-mode instances each on its own thread, one request per connection read within one
// deadline and one size bound, one reply, one log line without the password.
//
//   minimal-agent.exe console   serves in the foreground until Ctrl+C (an elevated prompt)
//   minimal-agent.exe service   what the service control manager runs (the guide's sc create line)
//
// Replace Decide() (below, between the rows of #) with your own decision; nothing else has to
// change. Test the result with `credhost agent-check --user NAME`.
//
// One file on purpose, with no header but the platform's. Build: cl /EHsc /std:c++17
// minimal_agent.cpp advapi32.lib, or x86_64-w64-mingw32-g++ -std=c++17 -municode -static
// minimal_agent.cpp -ladvapi32.
#include <windows.h>
#include <sddl.h>

#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\quillmere-agent-auth";
constexpr wchar_t kServiceName[] = L"qm-agent";
// The guide's descriptor: network logons denied, full access for LocalSystem and the
// Administrators, interactive users may connect but never create an instance. The owner is
// LocalSystem for the service; a console run from an elevated prompt can only set the
// Administrators (O:BA), which the module trusts too.
constexpr wchar_t kServicePipeSddl[] = L"O:SYD:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)";
constexpr wchar_t kConsolePipeSddl[] = L"O:BAD:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019B;;;IU)";
constexpr DWORD kInstances = 4;
constexpr DWORD kBufferBytes = 4096;
// The longest request the module can send: 45 bytes of framing and two values of 32 767 UTF-16
// units, each escaped to at most six bytes.
constexpr DWORD kMaxRequestBytes = 45 + 2 * 32767 * 6;
// One deadline per request, from the connection to the reply: the module gives up after 10 s.
constexpr DWORD kRequestDeadlineMs = 9000;
// After the reply, how long to wait for the client to read it and close.
constexpr DWORD kCloseWaitMs = 2000;

// ############################################################################################
// THE DECISION. Replace Decide() and the two constants beside it with your own check (a
// directory, a hash store, ...). Keep its two promises: the same work and the same answer for
// an unknown name as for a wrong password, and no password in any log or reply.
// This sample approves one fixed account so that it runs out of the box: NEVER DEPLOY IT AS IT IS.
constexpr char kDemoUser[] = "demo";
constexpr char kDemoPassword[] = "demo-password";

// Equal without a time that depends on where the texts differ or on the expected length.
bool ConstantTimeEquals(const std::string& typed, const char* expected, size_t expectedLength) {
    if (expectedLength == 0) {
        return typed.empty();
    }
    unsigned char difference = typed.size() == expectedLength ? 0 : 1;
    for (size_t i = 0; i < typed.size(); ++i) {
        difference |= static_cast<unsigned char>(typed[i] ^ expected[i % expectedLength]);
    }
    return difference == 0;
}

struct Decision {
    bool approved = false;
    // The account Windows signs in, and its full name: no " or \ in either, since the module
    // reads a value up to the next quotation mark, and at most 255 UTF-16 units each.
    std::string account;
    std::string fullName;
    bool isAdmin = false;
};

Decision Decide(const std::string& user, const std::string& password) {
    // Both comparisons always run: the time does not tell a known name from an unknown one.
    const bool userMatches = ConstantTimeEquals(user, kDemoUser, sizeof kDemoUser - 1);
    const bool passwordMatches = ConstantTimeEquals(password, kDemoPassword, sizeof kDemoPassword - 1);
    Decision decision;
    decision.approved = userMatches & passwordMatches;
    decision.account = kDemoUser;
    decision.fullName = "Demo User";
    return decision;
}
// ############################################################################################

HANDLE g_stopEvent = nullptr;
FILE* g_log = stdout;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
CRITICAL_SECTION g_logLock;

void Log(const std::string& line) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    EnterCriticalSection(&g_logLock);
    std::fputs((stamp + line + "\n").c_str(), g_log);
    std::fflush(g_log);
    LeaveCriticalSection(&g_logLock);
}

// A name from a client, safe for one log line: printable ASCII kept, anything else as \xHH, cut.
std::string ForLog(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < 64; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += (c >= 0x20 && c < 0x7F && c != '\\') ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out;
}

// The caller's account, from its token (the module connects with identification-level
// impersonation); never from its process ID, which may be reused.
std::string CallerAccount(HANDLE pipe) {
    if (!ImpersonateNamedPipeClient(pipe)) {
        return "?";
    }
    HANDLE token = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    RevertToSelf();
    if (!opened) {
        return "?";
    }
    BYTE buffer[256];
    DWORD size = 0;
    std::string account = "?";
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        LPSTR sid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
            account = sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return account;
}

// Appends code point cp as UTF-8.
void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The four hexadecimal digits at text[at], without a copy (they may be part of a password).
bool ReadHex4(const char* text, size_t size, size_t at, unsigned long& value) {
    value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = i < size ? text[i] : 'x';
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

// Parses one JSON string starting at text[at] == '"', decoding its escapes; false on any fault.
// out is reserved once and never reallocated, so no unwiped copy of a password is left.
bool ParseString(const char* text, size_t size, size_t& at, std::string& out) {
    if (at >= size || text[at++] != '"') {
        return false;
    }
    out.reserve(size - at);
    while (at < size) {
        const char c = text[at++];
        if (c == '"') {
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = at < size ? text[at++] : '\0';
        const size_t simple = std::string("\"\\/bfnrt").find(e);
        if (e != '\0' && simple != std::string::npos) {
            out += "\"\\/\b\f\n\r\t"[simple];
            continue;
        }
        unsigned long cp = 0;
        if (e != 'u' || !ReadHex4(text, size, at, cp)) {
            return false;
        }
        at += 4;
        unsigned long low = 0;
        if (cp >= 0xD800 && cp < 0xDC00 && at + 1 < size && text[at] == '\\' && text[at + 1] == 'u' &&
            ReadHex4(text, size, at + 2, low) && low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            at += 6;
        } else if ((cp >= 0xD800 && cp < 0xE000) || cp == 0) {
            return false;  // a lone surrogate, or a NUL, which would end the text in any C API
        }
        AppendUtf8(out, cp);
    }
    return false;
}

// {"action":"AUTH","username":"...","password":"..."}: one flat object of strings, each key
// once, valid UTF-8. The values land in the caller's strings, which it wipes.
bool ParseRequest(const char* text, size_t size, std::string& action, std::string& user, std::string& password) {
    if (size == 0 || size > INT_MAX ||
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(size), nullptr, 0) == 0) {
        return false;
    }
    size_t at = 0;
    if (text[at++] != '{') {
        return false;
    }
    int seen = 0;
    for (;;) {
        std::string key;
        std::string value;
        const bool pair = ParseString(text, size, at, key) && at < size && text[at++] == ':' &&
                          ParseString(text, size, at, value);
        std::string* target = key == "action" ? &action : key == "username" ? &user : key == "password" ? &password : nullptr;
        const int bit = key == "action" ? 1 : key == "username" ? 2 : key == "password" ? 4 : 0;
        if (!pair || target == nullptr || (seen & bit) != 0) {
            SecureZeroMemory(&value[0], value.size());
            return false;
        }
        seen |= bit;
        target->swap(value);
        if (at < size && text[at] == ',') {
            ++at;
            continue;
        }
        return at + 1 == size && text[at] == '}' && seen == 7;
    }
}

// Waits for an overlapped operation until deadline or the stop, cancelling and settling it
// otherwise, so that neither the OVERLAPPED nor the buffer is in use afterwards.
DWORD Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL completed, ULONGLONG deadline, DWORD& count) {
    if (!completed) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA) {
            return error;
        }
        const ULONGLONG now = GetTickCount64();
        const HANDLE events[] = {overlapped.hEvent, g_stopEvent};
        if (error == ERROR_IO_PENDING &&
            WaitForMultipleObjects(2, events, FALSE, now < deadline ? static_cast<DWORD>(deadline - now) : 0) !=
                WAIT_OBJECT_0) {
            CancelIoEx(pipe, &overlapped);
        }
    }
    return GetOverlappedResult(pipe, &overlapped, &count, TRUE) ? ERROR_SUCCESS : GetLastError();
}

DWORD Read(HANDLE pipe, HANDLE event, char* buffer, DWORD size, ULONGLONG deadline, DWORD& count) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    return Finish(pipe, overlapped, ReadFile(pipe, buffer, size, nullptr, &overlapped), deadline, count);
}

DWORD Write(HANDLE pipe, HANDLE event, const std::string& data, ULONGLONG deadline) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD count = 0;
    return Finish(pipe, overlapped,
                  WriteFile(pipe, data.data(), static_cast<DWORD>(data.size()), nullptr, &overlapped), deadline, count);
}

std::string Reply(const char* status, const char* reason) {
    return std::string("{\"status\":\"") + status + "\",\"reason\":\"" + reason + "\"}";
}

// One connection: read one request within the deadline, decide, reply, wait for the close.
void ServeClient(HANDLE pipe, HANDLE event, std::vector<char>& request) {
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG deadline = start + kRequestDeadlineMs;
    DWORD size = 0;
    DWORD error = Read(pipe, event, request.data(), kMaxRequestBytes, deadline, size);
    const bool oversized = error == ERROR_MORE_DATA;
    while (error == ERROR_MORE_DATA) {  // drain a longer message; it is refused
        char rest[4096];
        DWORD ignored = 0;
        error = Read(pipe, event, rest, sizeof rest, deadline, ignored);
    }
    const std::string caller = CallerAccount(pipe);
    if (error != ERROR_SUCCESS) {
        SecureZeroMemory(request.data(), request.size());
        Log("- caller " + caller + " DROPPED (no complete request: the client left or the deadline passed, error " +
            std::to_string(error) + ")");
        return;
    }
    std::string action, user, password;
    const bool parsed = !oversized && ParseRequest(request.data(), size, action, user, password);
    SecureZeroMemory(request.data(), request.size());
    std::string reply;
    std::string verdict;
    if (oversized) {
        reply = Reply("ERROR", "Request too large.");
        verdict = "REFUSED (too large)";
    } else if (!parsed) {
        reply = Reply("ERROR", "Malformed request.");
        verdict = "REFUSED (malformed)";
    } else if (action != "AUTH") {
        reply = Reply("ERROR", "Unsupported action.");
        verdict = "REFUSED (action)";
    } else {
        const Decision decision = Decide(user, password);
        reply = decision.approved ? "{\"status\":\"OK\",\"username\":\"" + decision.account + "\",\"full_name\":\"" +
                                        decision.fullName + "\",\"source\":\"minimal-agent\",\"is_admin\":" +
                                        (decision.isAdmin ? "true}" : "false}")
                                  : Reply("DENIED", "Invalid username or password.");
        verdict = decision.approved ? "OK" : "DENIED";
    }
    SecureZeroMemory(&password[0], password.size());  // the request's only copy of it
    error = Write(pipe, event, reply, deadline);
    Log(ForLog(user.empty() ? "-" : user) + " caller " + caller + " " + verdict + " " +
        std::to_string(GetTickCount64() - start) + " ms" + (error == ERROR_SUCCESS ? "" : " (reply not delivered)"));
    char sink[64];
    DWORD ignored = 0;
    if (error == ERROR_SUCCESS) {  // the client reads, then closes: its read ends with an error
        Read(pipe, event, sink, sizeof sink, GetTickCount64() + kCloseWaitMs, ignored);
    }
}

void ServeInstance(HANDLE pipe) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> request(kMaxRequestBytes);
    while (event != nullptr && WaitForSingleObject(g_stopEvent, 0) == WAIT_TIMEOUT) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD ignored = 0;
        const BOOL connected = ConnectNamedPipe(pipe, &overlapped);
        const DWORD error = connected ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_PIPE_CONNECTED ||
            (error == ERROR_IO_PENDING && Finish(pipe, overlapped, FALSE, INFINITE, ignored) == ERROR_SUCCESS)) {
            ServeClient(pipe, event, request);
        } else if (error != ERROR_IO_PENDING) {
            WaitForSingleObject(g_stopEvent, 10);  // a client that came and went: reset the instance
        }
        DisconnectNamedPipe(pipe);
    }
    if (event != nullptr) {
        CloseHandle(event);
    }
}

// Creates every instance (the first with FILE_FLAG_FIRST_PIPE_INSTANCE) and serves them until
// the stop event is set. ERROR_ALREADY_EXISTS when another server holds the name.
DWORD Serve(const wchar_t* sddl, bool asService) {
    // Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE; this asks the same question first.
    if (WaitNamedPipeW(kPipeName, 1) || GetLastError() != ERROR_FILE_NOT_FOUND) {
        return ERROR_ALREADY_EXISTS;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return GetLastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::vector<HANDLE> pipes;
    DWORD error = ERROR_SUCCESS;
    for (DWORD i = 0; i < kInstances && error == ERROR_SUCCESS; ++i) {
        const HANDLE pipe = CreateNamedPipeW(
            kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, kInstances,
            kBufferBytes, kBufferBytes, 0, &attributes);
        error = pipe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (pipe != INVALID_HANDLE_VALUE) {
            pipes.push_back(pipe);
        }
    }
    LocalFree(descriptor);
    std::vector<std::thread> threads;
    for (HANDLE pipe : pipes) {
        if (error == ERROR_SUCCESS) {
            threads.emplace_back(ServeInstance, pipe);
        }
    }
    if (error == ERROR_SUCCESS) {
        Log(asService ? "serving as the service" : "serving in the console");
        if (asService) {
            SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING,
                                  SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN, NO_ERROR, 0, 0, 0};
            SetServiceStatus(g_statusHandle, &status);
        }
        WaitForSingleObject(g_stopEvent, INFINITE);
    }
    SetEvent(g_stopEvent);
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (HANDLE pipe : pipes) {
        CloseHandle(pipe);
    }
    return error;
}

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(g_stopEvent);
    return TRUE;
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*) {
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN) {
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    }
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOP_PENDING, 0, NO_ERROR, 0, 0, 2000};
    SetServiceStatus(g_statusHandle, &status);
    SetEvent(g_stopEvent);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, OnServiceControl, nullptr);
    if (g_statusHandle == nullptr) {
        return;
    }
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, NO_ERROR, 0, 0, 3000};
    SetServiceStatus(g_statusHandle, &status);
    const DWORD error = Serve(kServicePipeSddl, true);
    const DWORD exitCode = error == ERROR_SUCCESS ? NO_ERROR : static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR);
    status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, exitCode, error, 0, 0};
    SetServiceStatus(g_statusHandle, &status);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    InitializeCriticalSection(&g_logLock);
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const std::wstring mode = argc == 2 ? argv[1] : L"";
    if (mode == L"service") {
        // Service mode logs to the file beside the executable; only the service and the
        // Administrators should be able to read its folder.
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (length > 4 && length < MAX_PATH) {
            wcscpy_s(path + length - 4, MAX_PATH - length + 4, L".log");
            FILE* file = _wfopen(path, L"a");
            g_log = file != nullptr ? file : g_log;
        }
        SERVICE_TABLE_ENTRYW services[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherW(services) ? 0 : static_cast<int>(GetLastError());
    }
    if (mode != L"console") {
        std::fputs("usage: minimal-agent console | service\n", stderr);
        return 2;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const DWORD error = Serve(kConsolePipeSddl, false);
    if (error != ERROR_SUCCESS) {
        std::fprintf(stderr, "minimal-agent: cannot serve the pipe (error %lu)%s\n", error,
                     error == ERROR_ALREADY_EXISTS ? ": another server holds its name" : "");
    }
    return error == ERROR_SUCCESS ? 0 : 1;
}
