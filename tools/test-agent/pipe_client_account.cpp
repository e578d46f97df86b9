#include "pipe_client_account.h"

#include "account_text.h"
#include "base/local_memory.h"
#include "base/unique_handle.h"

#include <sddl.h>

#include <cstdlib>
#include <new>
#include <vector>

namespace {

// The client's token, held after this thread has dropped the client's identity again.
KernelHandle ClientToken(HANDLE pipe) noexcept {
    if (!ImpersonateNamedPipeClient(pipe)) {
        return KernelHandle();
    }
    KernelHandle token;
    OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive());
    // A serving thread that kept a client's identity would act in its name from then on.
    if (!RevertToSelf()) {
        std::abort();
    }
    return token;
}

// The account's name, or its SID when the system knows no name for it.
std::wstring AccountNameOrSid(PSID sid) {
    std::wstring name = AccountName(sid);
    if (!name.empty()) {
        return name;
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return kUnidentifiedClient;
    }
    const LocalMemory owned(text);
    return text;
}

}  // namespace

std::wstring PipeClientAccount(HANDLE pipe) noexcept try {
    const KernelHandle token = ClientToken(pipe);
    if (!token) {
        return kUnidentifiedClient;
    }
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return kUnidentifiedClient;
    }
    return AccountNameOrSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
} catch (const std::bad_alloc&) {
    return std::wstring();
}
