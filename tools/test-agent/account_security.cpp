#include "account_security.h"

#include "process_user_sid.h"

#include <sddl.h>

#include <new>

HRESULT AccountSecurity::Create() noexcept try {
    std::wstring user;
    HRESULT hr = CurrentUserSidString(user);
    if (FAILED(hr)) {
        return hr;
    }
    m_sddl = m_sddlFor(user);
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
