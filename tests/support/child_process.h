// Programs that a test starts: run to completion with input and captured output,
// or kept running in the background with their output in a file. Every wait is bounded.
#pragma once

#include <windows.h>

#include <string>

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error, interleaved
    DWORD milliseconds = 0;
};

// Runs commandLine with input on its standard input (then closed); a process still running
// after timeoutMs is terminated.
ProcessResult RunProcess(const std::wstring& commandLine, const std::string& input, DWORD timeoutMs);

class BackgroundProcess {
public:
    BackgroundProcess() = default;
    ~BackgroundProcess() { Stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Starts commandLine with standard output and error going to outputPath.
    bool Start(const std::wstring& commandLine, const std::wstring& outputPath);
    bool IsRunning() const;
    // The exit code once the process has ended (STILL_ACTIVE before).
    DWORD ExitCode() const;
    void Stop();

private:
    HANDLE m_process = nullptr;
};

// "C:\path\with space\x.exe" quoted for a command line.
std::wstring Quoted(const std::wstring& argument);

// A path in the temporary folder that no other test program's run shares: name, a dash and this
// process's id (with suffix appended), such as "%TEMP%\qm-e2e-1234".
std::wstring ProcessTempPath(const std::wstring& name, const std::wstring& suffix = L"");

// ProcessTempPath(name) made a folder, for a test suite's files; RemoveTestFolder deletes the
// files in it and then the folder.
std::wstring CreateTestFolder(const std::wstring& name);
void RemoveTestFolder(const std::wstring& folder);

// A path given in the build's form (a Unix path under Wine) as Windows sees it.
std::wstring WindowsPathOf(const char* path);

std::string ReadFileText(const std::wstring& path);
