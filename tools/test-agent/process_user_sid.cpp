#include "process_user_sid.h"

#include "base/unique_handle.h"
#include "token_user.h"

#include <new>
#include <vector>

HRESULT CurrentUserSidString(std::wstring& sid) noexcept try {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    std::vector<BYTE> buffer;
    const PSID user = TokenUserSid(token.Get(), buffer);
    if (user == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    sid = SidString(user);
    if (sid.empty()) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
