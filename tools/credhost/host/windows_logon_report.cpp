#include "windows_logon_report.h"

#include "display_escaping.h"
#include "nt_status_names.h"
#include "utf8_conversion.h"
#include "win32_error_name.h"

#include <cstdio>

namespace {

std::string StatusLine(NTSTATUS status) {
    const char* meaning = NtStatusMeaning(status);
    return NtStatusText(status) + (meaning != nullptr ? std::string(": ") + meaning : std::string());
}

nlohmann::json StatusJson(NTSTATUS status) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(status));
    const char* name = NtStatusName(status);
    const char* meaning = NtStatusMeaning(status);
    return {{"code", code},
            {"name", name != nullptr ? nlohmann::json(name) : nlohmann::json(nullptr)},
            {"meaning", meaning != nullptr ? nlohmann::json(meaning) : nlohmann::json(nullptr)}};
}

std::string AccountText(const WindowsLogonResult& result) {
    if (result.accountName.empty()) {
        return "an account that could not be named (" + Win32ErrorNumberText(result.accountLookupError) + ")";
    }
    return EscapedForDisplay(Utf8FromWide(result.accountDomain)) + "\\" +
           EscapedForDisplay(Utf8FromWide(result.accountName)) + " (" + Utf8FromWide(result.sid) + ")";
}

}  // namespace

const char* WindowsLogonVerdictName(WindowsLogonVerdict verdict) {
    switch (verdict) {
    case WindowsLogonVerdict::Accepted: return "accepted";
    case WindowsLogonVerdict::Refused: return "refused";
    default: return "not_verified";
    }
}

std::string WindowsLogonText(const WindowsLogonResult& result) {
    if (*result.failedStep != '\0') {
        return std::string("  Windows logon: not verified: ") + result.failedStep + " failed with " +
               StatusLine(result.status) + "\n";
    }
    switch (result.verdict) {
    case WindowsLogonVerdict::Accepted:
        return "  Windows logon: accepted, as " + AccountText(result) + "; the token is closed\n";
    case WindowsLogonVerdict::NotVerified:
        return "  Windows logon: not verified: LsaLogonUser answered " + NtStatusText(result.status) +
               " but gave no token, and only a token proves a logon\n";
    case WindowsLogonVerdict::Refused: break;
    }
    std::string text = "  Windows logon: refused: " + StatusLine(result.status) + "\n";
    if (result.subStatus != 0) {
        text += "    sub-status " + StatusLine(result.subStatus) + "\n";
    }
    return text;
}

nlohmann::json WindowsLogonJson(const WindowsLogonResult& result) {
    nlohmann::json json = {{"outcome", WindowsLogonVerdictName(result.verdict)},
                           {"status", StatusJson(result.status)},
                           {"token", result.hasToken}};
    if (*result.failedStep != '\0') {
        json["failed_step"] = result.failedStep;
        return json;
    }
    json["sub_status"] = StatusJson(result.subStatus);
    if (result.hasToken) {
        json["account"] = result.accountName.empty()
                              ? nlohmann::json(nullptr)
                              : nlohmann::json(Utf8FromWide(result.accountDomain + L"\\" + result.accountName));
        json["sid"] = Utf8FromWide(result.sid);
    }
    return json;
}
