#include "sign_in.h"

#include "authentication_package_name.h"
#include "co_task_memory.h"
#include "serialization_block.h"

namespace {

SignInVerdict ProviderFailed(SignInOutcome& outcome, const char* step) {
    outcome.failedStep = step;
    return SignInVerdict::ProviderFailure;
}

bool TypeInto(ICredentialProviderCredential* tile, const TileField* field, PCWSTR text) {
    return field != nullptr && SUCCEEDED(tile->SetStringValue(field->id, text));
}

void DecodeSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization,
                         const SerializationBlock& block, SignInOutcome& outcome) {
    outcome.hasSerialization = true;
    outcome.package = serialization.ulAuthenticationPackage;
    outcome.packageName = AuthenticationPackageName(serialization.ulAuthenticationPackage);
    outcome.serializationProvider = serialization.clsidCredentialProvider;
    outcome.serializationSize = block.Size();
    outcome.logon = DecodeKerberosInteractiveLogon(block.Data(), block.Size());
}

// A block that claims to be an interactive logon but does not hold together would be refused
// by the logon machinery; one of another message type is only left undecoded.
bool IsMalformedLogon(const DecodedLogon& logon) {
    return !logon.decoded &&
           (logon.messageType == kKerbInteractiveLogon || logon.messageType == kKerbWorkstationUnlockLogon ||
            logon.messageType == 0);
}

void ReportLogonResult(ICredentialProviderCredential* tile, NTSTATUS status, SignInOutcome& outcome) {
    CoTaskString text;
    outcome.reported = true;
    outcome.reportedStatus = status;
    outcome.reportResult = tile->ReportResult(status, 0, text.Receive(), &outcome.reportIcon);
    outcome.hasReportText = text.Get() != nullptr;
    outcome.reportText = outcome.hasReportText ? text.Get() : L"";
}

}  // namespace

SignInVerdict RunSignIn(ProviderSession& session, const std::wstring& userName, const SecretWide& password,
                        NTSTATUS reportStatus, SignInOutcome& outcome) {
    if (session.TileCount() == 0) {
        return ProviderFailed(outcome, "GetCredentialCount (no tile)");
    }
    TileConnection tile;
    if (FAILED(tile.Open(session.Provider(), session.ChosenTile()))) {
        return ProviderFailed(outcome, tile.FailedStep());
    }
    BOOL autoLogon = FALSE;
    if (FAILED(tile.Select(autoLogon))) {
        return ProviderFailed(outcome, tile.FailedStep());
    }
    const TileField* userField = FindUserNameField(session.Fields());
    const TileField* passwordField = FindPasswordField(session.Fields());
    if (userField == nullptr || passwordField == nullptr) {
        return ProviderFailed(outcome, "the tile has no user name or no password field");
    }
    if (!TypeInto(tile.Tile(), userField, userName.c_str())) {
        return ProviderFailed(outcome, "SetStringValue (user name)");
    }
    if (!TypeInto(tile.Tile(), passwordField, password.data())) {
        return ProviderFailed(outcome, "SetStringValue (password)");
    }

    const SignInVerdict verdict = SubmitTile(tile.Tile(), reportStatus, outcome);
    outcome.tileEvents = tile.EventCount();
    return verdict;
}

SignInVerdict SubmitTile(ICredentialProviderCredential* tile, NTSTATUS reportStatus, SignInOutcome& outcome) {
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization{};
    CoTaskString statusText;
    outcome.serializationResult =
        tile->GetSerialization(&outcome.response, &serialization, statusText.Receive(), &outcome.statusIcon);
    outcome.hasStatusText = statusText.Get() != nullptr;
    outcome.statusText = outcome.hasStatusText ? statusText.Get() : L"";
    if (FAILED(outcome.serializationResult)) {
        return ProviderFailed(outcome, "GetSerialization");
    }
    // Like the sign-in screen, the host takes the block only with a returned credential: with
    // any other response the provider has handed nothing over, so nothing is freed.
    if (outcome.response != CPGSR_RETURN_CREDENTIAL_FINISHED) {
        return SignInVerdict::Refused;
    }

    SerializationBlock block;
    block.TakeFrom(serialization);
    if (block.Data() == nullptr || block.Size() == 0) {
        return ProviderFailed(outcome, "GetSerialization (credential without a block)");
    }
    DecodeSerialization(serialization, block, outcome);
    if (IsMalformedLogon(outcome.logon)) {
        return ProviderFailed(outcome, "GetSerialization (malformed logon block)");
    }
    ReportLogonResult(tile, reportStatus, outcome);
    return SignInVerdict::SignedIn;
}
