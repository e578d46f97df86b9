#include "users_file_security.h"

#include "agent/agent_server_identity.h"

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
