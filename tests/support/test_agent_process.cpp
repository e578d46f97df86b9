#include "support/test_agent_process.h"

#include <utility>

namespace {

constexpr DWORD kAddUserTimeoutMs = 60000;

}  // namespace

TestAgentProcess::TestAgentProcess(std::wstring exe, std::wstring directory)
    : m_exe(std::move(exe)), m_directory(std::move(directory)) {}

ProcessResult TestAgentProcess::AddUser(const std::wstring& arguments, const std::string& password) const {
    return RunProcess(Quoted(m_exe) + L" add-user --users " + Quoted(UsersPath()) + L" " + arguments, password + "\n",
                      kAddUserTimeoutMs);
}

::testing::AssertionResult TestAgentProcess::Start(const std::wstring& options) {
    if (!m_process.Start(Quoted(m_exe) + L" serve --users " + Quoted(UsersPath()) + options, LogPath())) {
        return ::testing::AssertionFailure() << "test-agent.exe did not start: " << GetLastError();
    }
    // Up to 15 s: a cold Wine start of a new process can take several seconds.
    for (int attempt = 0; attempt < 150; ++attempt) {
        if (Log().find("test-agent: serving") != std::string::npos) {
            return ::testing::AssertionSuccess();
        }
        if (!m_process.IsRunning()) {
            return ::testing::AssertionFailure() << "test-agent.exe ended: " << Log();
        }
        Sleep(100);
    }
    return ::testing::AssertionFailure() << "test-agent.exe did not start serving: " << Log();
}
