#include "pipe_security.h"

#include <sddl.h>

#include <new>

std::wstring PipeSecuritySddlFor(const std::wstring& userSid) {
    const std::wstring deniedAndAdmitted = L"D:P(D;;GA;;;NU)(A;;GA;;;SY)(A;;GA;;;BA)";
    const std::wstring interactiveClients = L"(A;;0x0012019B;;;IU)";
    if (userSid == L"S-1-5-18") {
        return L"O:SY" + deniedAndAdmitted + interactiveClients;
    }
    // A virtual service account is its own service SID (S-1-5-80-...), which it may set as owner.
    if (userSid.rfind(L"S-1-5-80-", 0) == 0) {
        return L"O:" + userSid + deniedAndAdmitted + L"(A;;GA;;;" + userSid + L")" + interactiveClients;
    }
    return L"O:BA" + deniedAndAdmitted + interactiveClients;
}

HRESULT PipeSecurity::Create() noexcept try {
    std::wstring user;
    HRESULT hr = CurrentUserSidString(user);
    if (FAILED(hr)) {
        return hr;
    }
    m_sddl = PipeSecuritySddlFor(user);
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
