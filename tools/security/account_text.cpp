#include "account_text.h"

#include "base/local_memory.h"
#include "display_escaping.h"

#include <sddl.h>

std::string AccountText(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) {
        return "(no account)";
    }
    LPWSTR rawSid = nullptr;
    if (!ConvertSidToStringSidW(sid, &rawSid)) {
        return "(unreadable SID)";
    }
    const LocalMemory sidText(rawSid);
    const std::string sidShown = EscapedPathForDisplay(rawSid);
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
