#include "agent_commands.h"

#include "access_grants.h"
#include "agent_file_writers.h"
#include "console_output.h"
#include "display_escaping.h"
#include "secret_line_reader.h"
#include "secret_text_conversion.h"
#include "user_store_file.h"
#include "utf8_conversion.h"
#include "win32_error_name.h"

#include <cwchar>

namespace {

bool StandardInputIsConsole() noexcept {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

// Reads the password as UTF-8; on a console it is asked twice and both must match.
bool ReadNewPassword(const std::wstring& user, SecretBytes& password) {
    const std::wstring prompt = L"Password for " + user + L": ";
    SecretWide first;
    const HRESULT read = ReadSecretLine(prompt.c_str(), first);
    if (FAILED(read)) {
        WriteErr(std::string("test-agent: ") + SecretLineErrorText(read) + "\n");
        return false;
    }
    if (StandardInputIsConsole()) {
        SecretWide second;
        if (FAILED(ReadSecretLine(L"Again: ", second)) || first != second) {
            WriteErr("test-agent: the passwords differ\n");
            return false;
        }
    }
    if (FAILED(SecretUtf8FromWide(first.data(), password))) {
        WriteErr("test-agent: the password is not valid text\n");
        return false;
    }
    if (password.empty()) {
        WriteErr("test-agent: the password is empty\n");
        return false;
    }
    return true;
}

bool BuildRecord(const AgentCommand& command, const SecretBytes& password, UserRecord& record) {
    record.username = Utf8FromWide(command.userName);
    record.fullName = Utf8FromWide(command.fullName);
    record.email = Utf8FromWide(command.email);
    record.isAdmin = command.isAdmin;
    record.iterations = command.iterations;
    return SUCCEEDED(GeneratePasswordSalt(record.salt)) &&
           SUCCEEDED(DerivePasswordHash(password.data(), password.size(), record.salt, record.iterations, record.hash));
}

// A users file that another account may change could hold that account's entries, which adding
// a user would carry over into the new file under the new file's trusted security.
bool ExistingFileIsSafe(const std::wstring& usersPath) {
    UnsafeAgentPath unsafe;
    if (!FindUnsafeAgentPath({usersPath}, AgentFileWriters(), unsafe)) {
        return true;
    }
    const std::string path = EscapedPathForDisplay(unsafe.path);
    WriteErr("test-agent: not adding to " + path + ": " +
             (unsafe.error != ERROR_SUCCESS
                  ? "cannot read who may change it (" + Win32ErrorNumberText(unsafe.error) + ")"
                  : ListedAccounts(unsafe.writers) + " may change it") +
             "; check its users, or start a new file\n");
    return false;
}

}  // namespace

int RunAddUser(const AgentCommand& command) {
    if (!ExistingFileIsSafe(command.usersPath)) {
        return kAgentExitFailure;
    }
    UserStore store;
    std::string error;
    const HRESULT loaded = LoadUserStore(command.usersPath.c_str(), store, error);
    if (FAILED(loaded) && loaded != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        WriteErr("test-agent: " + Utf8FromWide(command.usersPath) + ": " + error + "\n");
        return kAgentExitFailure;
    }
    SecretBytes password;
    if (!ReadNewPassword(command.userName, password)) {
        return kAgentExitFailure;
    }
    UserRecord record;
    if (!BuildRecord(command, password, record)) {
        WriteErr("test-agent: cannot hash the password\n");
        return kAgentExitFailure;
    }
    if (!store.Add(std::move(record), error)) {
        WriteErr("test-agent: " + error + "\n");
        return kAgentExitFailure;
    }
    if (FAILED(SaveUserStore(command.usersPath.c_str(), store))) {
        WriteErr("test-agent: cannot write " + Utf8FromWide(command.usersPath) + "\n");
        return kAgentExitFailure;
    }
    WriteOut("test-agent: added user " + Utf8FromWide(command.userName) + " to " + Utf8FromWide(command.usersPath) +
             "\n");
    return kAgentExitSuccess;
}
