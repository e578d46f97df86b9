#include "token_user.h"

#include "base/local_memory.h"

#include <sddl.h>

PSID TokenUserSid(HANDLE token, std::vector<BYTE>& buffer) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return nullptr;
    }
    buffer.resize(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return nullptr;
    }
    return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

std::wstring SidString(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    const LocalMemory owned(text);
    return text;
}
