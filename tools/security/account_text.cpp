#include "account_text.h"

#include "display_escaping.h"
#include "token_user.h"

std::string AccountText(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) {
        return "(no account)";
    }
    const std::wstring sidText = SidString(sid);
    if (sidText.empty()) {
        return "(unreadable SID)";
    }
    const std::string sidShown = EscapedPathForDisplay(sidText);
    const std::wstring account = AccountName(sid);
    if (account.empty()) {
        return sidShown;
    }
    return EscapedPathForDisplay(account) + " (" + sidShown + ")";
}

std::wstring AccountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = ARRAYSIZE(name);
    DWORD domainLength = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return {};
    }
    return domainLength == 0 ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
}
