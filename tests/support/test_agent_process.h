// tools/test-agent.exe as a process of its own, the way a deployment runs qm-agent: a users file
// written by its add-user command, and its serve command on the real agent pipe.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"

class TestAgentProcess {
public:
    // exe: the agent's Windows path; directory: an existing folder for its users file and log.
    TestAgentProcess(std::wstring exe, std::wstring directory);

    // Runs "add-user --users FILE arguments" with password on its standard input.
    ProcessResult AddUser(const std::wstring& arguments, const std::string& password) const;

    // Starts "serve --users FILE options" and waits until it logs that it serves.
    ::testing::AssertionResult Start(const std::wstring& options = L"");
    void Stop() { m_process.Stop(); }

    std::string Log() const { return ReadFileText(LogPath()); }
    std::wstring LogPath() const { return m_directory + L"\\agent.log"; }
    std::wstring UsersPath() const { return m_directory + L"\\users.json"; }

private:
    std::wstring m_exe;
    std::wstring m_directory;
    BackgroundProcess m_process;
};
