#include "support/child_process.h"

#include <vector>

#include "base/unique_handle.h"

namespace {

using FindHandle = UniqueHandle<HANDLE, FindClose, IsValidKernelHandle>;

// Only the child's end of each pipe is inherited.
bool CreateChildPipe(KernelHandle& read, KernelHandle& write, bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    if (!CreatePipe(read.Receive(), write.Receive(), &inheritable, 0)) {
        return false;
    }
    return SetHandleInformation(childReads ? write.Get() : read.Get(), HANDLE_FLAG_INHERIT, 0) != FALSE;
}

bool Spawn(std::wstring commandLine, HANDLE input, HANDLE output, PROCESS_INFORMATION& process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // A test that draws windows gives its thread a desktop of its own; its children start there.
    wchar_t desktop[128] = {};
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop, sizeof(desktop), nullptr);
    if (desktop[0] != L'\0' && lstrcmpiW(desktop, L"Default") != 0) {
        startup.lpDesktop = desktop;
    }
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    // Wine reports ERROR_INTERNAL_ERROR when the new process died in its loader, before any of the
    // program's code ran (a rare event). Such a start is tried again; a program
    // that cannot start fails all three times.
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &process)) {
            return true;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) {
            return false;
        }
    }
}

// Appends whatever the pipe holds now; never blocks.
void DrainPipe(HANDLE pipe, std::string& output) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
            return;
        }
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read, nullptr) ||
            read == 0) {
            return;
        }
        output.append(buffer, read);
    }
}

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const std::string& input, DWORD timeoutMs) {
    ProcessResult result;
    KernelHandle inputRead, inputWrite, outputRead, outputWrite;
    if (!CreateChildPipe(inputRead, inputWrite, true) || !CreateChildPipe(outputRead, outputWrite, false)) {
        return result;
    }
    PROCESS_INFORMATION process{};
    const ULONGLONG start = GetTickCount64();
    result.started = Spawn(commandLine, inputRead.Get(), outputWrite.Get(), process);
    inputRead.Close();
    outputWrite.Close();
    if (!result.started) {
        return result;
    }
    const KernelHandle processHandle(process.hProcess);
    const KernelHandle threadHandle(process.hThread);

    DWORD written = 0;
    WriteFile(inputWrite.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    inputWrite.Close();
    // Reads while the process runs and once more after it ended, without waiting for the end of
    // the pipe: a process the child started (Wine starts its services on first use) may hold
    // the pipe's write end long after the child is gone.
    for (;;) {
        const bool exited = WaitForSingleObject(processHandle.Get(), 10) == WAIT_OBJECT_0;
        DrainPipe(outputRead.Get(), result.output);
        if (exited) {
            break;
        }
        if (GetTickCount64() - start > timeoutMs) {
            result.timedOut = true;
            TerminateProcess(processHandle.Get(), 259);
            WaitForSingleObject(processHandle.Get(), 5000);
            DrainPipe(outputRead.Get(), result.output);
            break;
        }
    }
    GetExitCodeProcess(processHandle.Get(), &result.exitCode);
    result.milliseconds = static_cast<DWORD>(GetTickCount64() - start);
    return result;
}

bool BackgroundProcess::Start(const std::wstring& commandLine, const std::wstring& outputPath) {
    Stop();
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const KernelHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const KernelHandle input(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!output || !input) {
        return false;
    }
    PROCESS_INFORMATION process{};
    if (!Spawn(commandLine, input.Get(), output.Get(), process)) {
        return false;
    }
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    return true;
}

bool BackgroundProcess::IsRunning() const {
    return m_process != nullptr && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

DWORD BackgroundProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process, &code);
    return code;
}

void BackgroundProcess::Stop() {
    if (m_process == nullptr) {
        return;
    }
    TerminateProcess(m_process, 0);
    WaitForSingleObject(m_process, 10000);
    CloseHandle(m_process);
    m_process = nullptr;
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring WindowsPathOf(const char* path) {
    // Under Wine the build's Unix paths resolve against the root of drive Z:, which is "/".
    std::wstring given(MAX_PATH, L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, given.data(), MAX_PATH);
    given.resize(units > 0 ? units - 1 : 0);
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    return length != 0 && length < MAX_PATH ? std::wstring(full, length) : given;
}

std::string ReadFileText(const std::wstring& path) {
    const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file) {
        return text;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read != 0) {
        text.append(buffer, read);
    }
    return text;
}

std::wstring ProcessTempPath(const std::wstring& name, const std::wstring& suffix) {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    return std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId()) + suffix;
}

std::wstring CreateTestFolder(const std::wstring& name) {
    const std::wstring folder = ProcessTempPath(name);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void RemoveTestFolder(const std::wstring& folder) {
    // A file that a child process wrote its output to can stay open a moment after the child has
    // ended, so the removal is tried again for up to 2 s.
    for (int attempt = 0; attempt < 20; ++attempt) {
        WIN32_FIND_DATAW found;
        const FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
        for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.Get(), &found) != FALSE) {
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());  // refused for "." and ".."
        }
        if (RemoveDirectoryW(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Sleep(100);
    }
}
