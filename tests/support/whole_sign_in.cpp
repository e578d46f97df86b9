#include "support/whole_sign_in.h"

#include <cwchar>
#include <new>

#include "provider/credential_provider.h"
#include "tile_field_id.h"

WholeSignIn RunWholeSignIn(PCWSTR userName, PCWSTR password) {
    WholeSignIn result;
    CQMCredProvider* provider = new (std::nothrow) CQMCredProvider();
    ICredentialProviderCredential* tile = nullptr;
    if (provider == nullptr || provider->SetUsageScenario(CPUS_LOGON, 0) != S_OK ||
        provider->GetCredentialAt(0, &tile) != S_OK) {
        if (provider != nullptr) {
            provider->Release();
        }
        return result;
    }
    BOOL autoLogon = FALSE;
    tile->SetSelected(&autoLogon);
    tile->SetStringValue(FieldUserName, userName);
    tile->SetStringValue(FieldPassword, password);
    PWSTR text = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
    result.hr = tile->GetSerialization(&result.response, &result.serialization, &text, &icon);
    if (text != nullptr) {
        wcsncpy(result.statusText, text, ARRAYSIZE(result.statusText) - 1);
    }
    CoTaskMemFree(text);
    tile->SetDeselected();
    tile->Release();
    provider->Release();
    return result;
}

void FreeSerialization(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization) {
    SecureZeroMemory(serialization.rgbSerialization, serialization.cbSerialization);
    CoTaskMemFree(serialization.rgbSerialization);
    serialization.rgbSerialization = nullptr;
    serialization.cbSerialization = 0;
}
