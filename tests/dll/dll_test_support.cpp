#include "dll_test_support.h"

#include <windows.h>

std::wstring BuiltDllPath() {
    // QM_DLL_PATH is the host's path of the file; Wine's prefix maps the host's root to Z:.
    std::wstring path =
        L"Z:"
        L"" QM_DLL_PATH;
    for (wchar_t& unit : path) {
        if (unit == L'/') {
            unit = L'\\';
        }
    }
    return path;
}

int RunRegsvr32(bool unregister) {
    std::wstring commandLine =
        std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + BuiltDllPath() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD exitCode = 0;
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process.hProcess, &exitCode);
    if (!ended) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hProcess);
    return ended ? static_cast<int>(exitCode) : -1;
}
