#include "process_user_sid.h"

#include "base/local_memory.h"
#include "base/unique_handle.h"

#include <sddl.h>

#include <new>
#include <vector>

HRESULT CurrentUserSidString(std::wstring& sid) noexcept try {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const LocalMemory owned(text);
    sid = text;
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
