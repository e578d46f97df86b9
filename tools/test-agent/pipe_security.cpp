#include "pipe_security.h"

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
