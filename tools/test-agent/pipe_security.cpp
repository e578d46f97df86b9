#include "pipe_security.h"

#include "base/kernel_handle.h"

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
    std::unique_ptr<void, LocalFreeDeleter> owned(text);
    sid = text;
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

HRESULT PipeSecurity::Create() noexcept try {
    std::wstring user;
    HRESULT hr = CurrentUserSidString(user);
    if (FAILED(hr)) {
        return hr;
    }
    // D:P protected DACL; deny network logons (NU); full access for LocalSystem (SY), the
    // Administrators (BA) and the agent's own account, which must create further instances.
    m_sddl = L"D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + user + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(m_sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    m_descriptor.reset(descriptor);
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = descriptor;
    m_attributes.bInheritHandle = FALSE;
    return S_OK;
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}
