// credhost prompt: Windows' own credential prompt, which loads every registered provider in the
// credui scenario itself; credhost only decodes what comes back and, with --logon, hands it to
// LSA. This is the path that a 32-bit caller takes too, when credhost is built for x86. The
// buffer's layout follows the flags alone: on 64-bit Windows the prompt packs the 64-bit layout
// for a 32-bit caller too, unless it asks for the 32-bit one with CREDUIWIN_PACK_32_WOW.
#include "credhost_commands.h"

#include "authentication_package_name.h"
#include "command_output.h"
#include "credential_provider_names.h"
#include "kerberos_logon_decoder.h"
#include "sign_in_report.h"
#include "utf8_conversion.h"
#include "windows_logon_report.h"
#include "win32_error_name.h"

#include <wincred.h>

#include <cstdio>

namespace {

// The prompt's returned buffer holds the password in clear: wiped before CoTaskMemFree.
class PromptedCredential {
public:
    PromptedCredential() noexcept = default;
    ~PromptedCredential() {
        if (m_buffer != nullptr) {
            SecureZeroMemory(m_buffer, m_size);
            CoTaskMemFree(m_buffer);
        }
    }
    PromptedCredential(const PromptedCredential&) = delete;
    PromptedCredential& operator=(const PromptedCredential&) = delete;

    void** ReceiveBuffer() noexcept { return &m_buffer; }
    ULONG* ReceiveSize() noexcept { return &m_size; }
    const unsigned char* Data() const noexcept { return static_cast<const unsigned char*>(m_buffer); }
    ULONG Size() const noexcept { return m_size; }

private:
    void* m_buffer = nullptr;
    ULONG m_size = 0;
};

std::string FlagsText(DWORD flags) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(flags));
    return text;
}

struct PromptReport {
    std::string text;
    nlohmann::json json;
    int exitCode = kExitProviderFailure;
};

PromptReport UnansweredPrompt(DWORD error) {
    PromptReport report;
    report.json["error"] = error;
    if (error == ERROR_CANCELLED) {
        report.text = "  Cancelled: the prompt was closed without a credential\n";
        report.json["outcome"] = "cancelled";
        report.exitCode = kExitRefused;
        return report;
    }
    if (error == ERROR_CALL_NOT_IMPLEMENTED) {
        report.text = "  No credential prompt: CredUIPromptForWindowsCredentialsW answered 120 "
                      "(ERROR_CALL_NOT_IMPLEMENTED); this system has none to open (Wine's is a stub)\n";
        report.json["outcome"] = "no_prompt";
        return report;
    }
    report.text = "  Prompt failed: CredUIPromptForWindowsCredentialsW answered " + Win32ErrorNumberText(error) + "\n";
    report.json["outcome"] = "failed";
    return report;
}

PromptReport CredentialReport(ULONG package, const PromptedCredential& credential, const CredhostCommand& command) {
    PromptReport report;
    const DecodedLogon logon = DecodeKerberosInteractiveLogon(credential.Data(), credential.Size(),
                                                              LogonLayoutForFlags(command.flags));
    const std::wstring packageName = AuthenticationPackageName(package);
    report.text = "  Credential: package " + (packageName.empty() ? "unknown package" : Utf8FromWide(packageName)) +
                  " (" + std::to_string(package) + "), " + std::to_string(credential.Size()) + " bytes\n" +
                  DecodedLogonText(logon);
    report.json["outcome"] = "credential";
    report.json["serialization"] = {{"package", package},
                                    {"package_name", packageName.empty() ? nlohmann::json(nullptr)
                                                                         : nlohmann::json(Utf8FromWide(packageName))},
                                    {"size", credential.Size()}};
    report.json["serialization"].update(DecodedLogonJson(logon));
    report.exitCode = kExitSignedIn;
    if (!command.logon) {
        return report;
    }
    const WindowsLogonResult result = LogOnThroughLsa(package, credential.Data(), credential.Size());
    report.text += WindowsLogonText(result);
    report.json["windows_logon"] = WindowsLogonJson(result);
    report.exitCode = ExitCodeOfWindowsLogon(result.verdict);
    return report;
}

}  // namespace

int RunPrompt(const CredhostCommand& command) {
    CREDUI_INFOW info{};
    info.cbSize = sizeof(info);
    info.pszCaptionText = L"credhost prompt";
    info.pszMessageText = L"Pick a tile and sign in: credhost prints what the provider returns (never the password).";
    ULONG package = 0;
    BOOL save = FALSE;
    PromptedCredential credential;
    const DWORD error = CredUIPromptForWindowsCredentialsW(&info, 0, &package, nullptr, 0, credential.ReceiveBuffer(),
                                                           credential.ReceiveSize(), &save, command.flags);
    PromptReport report = error == ERROR_SUCCESS && credential.Data() != nullptr
                              ? CredentialReport(package, credential, command)
                              : UnansweredPrompt(error);
    report.json["flags"] = command.flags;
    PrintReport(command, "Credential prompt, flags " + FlagsText(command.flags) + "\n" + report.text,
                report.json.dump());
    return report.exitCode;
}
