#include "users_file_security.h"

#include "agent/agent_server_identity.h"
#include "process_user_sid.h"

#include <sddl.h>

#include <new>

namespace {

std::wstring AgentServiceSidString() {
    std::wstring text = L"S-1-5";
    for (DWORD part : kAgentServiceSidSubAuthorities) {
        text += L"-" + std::to_wstring(part);
    }
    return text;
}

}  // namespace

std::wstring UsersFileSddlFor(const std::wstring& userSid) {
    const std::wstring service = AgentServiceSidString();
    const std::wstring serviceRights = userSid == service ? L"FA" : L"FR";
    return L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;" + serviceRights + L";;;" + service + L")";
}

HRESULT UsersFileSecurity::Create() noexcept try {
    std::wstring user;
    HRESULT hr = CurrentUserSidString(user);
    if (FAILED(hr)) {
        return hr;
    }
    m_sddl = UsersFileSddlFor(user);
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
