// The tile's sign-in submission: the agent judges the typed values, and only its approval leads
// to a logon serialization. The module never judges a password itself.
#include "tile/credential_tile.h"

#include <cwchar>

#include "agent/agent_auth_client.h"
#include "base/co_task_str_dup.h"
#include "logon/kerberos_logon_packer.h"

namespace {

constexpr wchar_t kMissingFieldsText[] = L"Enter username and password.";
constexpr wchar_t kAuthenticationFailedText[] = L"Authentication failed.";
constexpr wchar_t kBuildLogonFailedText[] = L"Failed to build logon.";

// A success code alone is no approval: the exchange can succeed without a verdict.
bool IsApproved(HRESULT hr, const AgentAuthResult& verdict) noexcept {
    return SUCCEEDED(hr) && verdict.status == AgentAuthApproved;
}

}  // namespace

// The host calls this when the user submits the tile. It blocks for the whole agent exchange.
// The tile's stored values are read, never changed: the password stays until deselection.
IFACEMETHODIMP CQMCredentialTile::GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE* pcpgsr,
                                                   CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs,
                                                   LPWSTR* ppszOptionalStatusText,
                                                   CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept {
    *pcpgsr = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
    *ppszOptionalStatusText = nullptr;
    *pcpsiOptionalStatusIcon = CPSI_NONE;

    // A missing value is a prompt, not an error, and the agent is not asked.
    if (!m_userName || !m_password) {
        return CoTaskStrDup(kMissingFieldsText, ppszOptionalStatusText);
    }

    // A password that no logon can carry is refused as the packer would refuse it, but before the
    // agent is asked: it never leaves the process for a sign-in that cannot happen.
    if (wcsnlen(m_password.get(), kMaxLogonStringUnits + 1) > kMaxLogonStringUnits) {
        *pcpsiOptionalStatusIcon = CPSI_ERROR;
        CoTaskStrDup(kBuildLogonFailedText, ppszOptionalStatusText);
        return E_INVALIDARG;
    }

    AgentAuthResult verdict = {};
    HRESULT hr = AgentAuthClient(m_userName.get(), m_password.get(), &verdict);
    // The record is plain data from another subsystem; its texts are terminated here so that no
    // fault there can make a copy below run past the record.
    verdict.message[kAgentTextCapacity - 1] = L'\0';
    verdict.user_name[kAgentTextCapacity - 1] = L'\0';

    // A refusal or a failed exchange is handled: S_OK with the text on the tile. A text that
    // cannot be copied leaves none, and the result stays S_OK.
    if (!IsApproved(hr, verdict)) {
        *pcpsiOptionalStatusIcon = CPSI_ERROR;
        CoTaskStrDup(verdict.message[0] != L'\0' ? verdict.message : kAuthenticationFailedText, ppszOptionalStatusText);
        return S_OK;
    }

    // The agent may map the typed name to another account; the typed password is kept. The
    // scenario in force decides the logon's form (unlock, or a 32-bit credential prompt).
    PCWSTR accountName = verdict.user_name[0] != L'\0' ? verdict.user_name : m_userName.get();
    hr = KerberosLogonPacker(accountName, m_password.get(), m_usageScenario, m_usageFlags, pcpcs);
    if (FAILED(hr)) {
        *pcpsiOptionalStatusIcon = CPSI_ERROR;
        CoTaskStrDup(kBuildLogonFailedText, ppszOptionalStatusText);
        return hr;
    }

    *pcpgsr = CPGSR_RETURN_CREDENTIAL_FINISHED;
    return S_OK;
}

// The host calls this after the logon attempt. Windows shows its own text for a failed logon,
// so the tile adds none, whatever the outcome.
IFACEMETHODIMP CQMCredentialTile::ReportResult(NTSTATUS, NTSTATUS, LPWSTR* ppszOptionalStatusText,
                                               CREDENTIAL_PROVIDER_STATUS_ICON* pcpsiOptionalStatusIcon) noexcept {
    *ppszOptionalStatusText = nullptr;
    *pcpsiOptionalStatusIcon = CPSI_NONE;
    return S_OK;
}
