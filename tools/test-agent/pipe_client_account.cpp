#include "pipe_client_account.h"

#include "account_text.h"
#include "base/unique_handle.h"
#include "token_user.h"

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
    if (name.empty()) {
        name = SidString(sid);
    }
    return name.empty() ? std::wstring(kUnidentifiedClient) : name;
}

}  // namespace

std::wstring PipeClientAccount(HANDLE pipe) noexcept try {
    const KernelHandle token = ClientToken(pipe);
    if (!token) {
        return kUnidentifiedClient;
    }
    std::vector<BYTE> buffer;
    const PSID user = TokenUserSid(token.Get(), buffer);
    if (user == nullptr) {
        return kUnidentifiedClient;
    }
    return AccountNameOrSid(user);
} catch (const std::bad_alloc&) {
    return std::wstring();
}
