#include "sign_in.h"

#include "authentication_package_name.h"
#include "co_task_memory.h"
#include "provider_call.h"
#include "serialization_block.h"

namespace {

SignInVerdict ProviderFailed(SignInOutcome& outcome, const char* step, HRESULT hr = kProviderContractBroken) {
    outcome.failedStep = step;
    outcome.failedResult = hr;
    return SignInVerdict::ProviderFailure;
}

void DecodeSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization,
                         const SerializationBlock& block, DWORD usageFlags, SignInOutcome& outcome) {
    outcome.hasSerialization = true;
    outcome.package = serialization.ulAuthenticationPackage;
    outcome.packageName = AuthenticationPackageName(serialization.ulAuthenticationPackage);
    outcome.serializationProvider = serialization.clsidCredentialProvider;
    outcome.serializationSize = block.Size();
    outcome.logon = DecodeKerberosInteractiveLogon(block.Data(), block.Size(), LogonLayoutForFlags(usageFlags));
}

// A block that claims to be an interactive logon but does not hold together would be refused
// by the logon machinery; one of another message type is only left undecoded.
bool IsMalformedLogon(const DecodedLogon& logon) {
    return !logon.decoded && (logon.messageType == kKerbInteractiveLogon ||
                              logon.messageType == kKerbWorkstationUnlockLogon || logon.messageType == 0);
}

void ReportLogonResult(ICredentialProviderCredential* tile, LogonStatus status, SignInOutcome& outcome) {
    ReceivedCoTaskString text;
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
    outcome.reported = true;
    outcome.reportedStatus = status.status;
    outcome.reportedSubStatus = status.subStatus;
    NameProviderCall("ReportResult");
    outcome.reportResult =
        text.KeepIfSucceeded(tile->ReportResult(status.status, status.subStatus, text.Receive(), &icon));
    if (FAILED(outcome.reportResult)) {
        return;
    }
    outcome.hasReportText = text.Get() != nullptr;
    outcome.reportText = outcome.hasReportText ? text.Get() : L"";
    outcome.reportIcon = icon;
}

// Takes the returned block; a provider failure when it is missing, not the task allocator's, or
// smaller than cbSerialization says.
const char* TakeBlock(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization, SerializationBlock& block,
                      SignInOutcome& outcome) {
    if (serialization.rgbSerialization == nullptr) {
        return "GetSerialization (credential without a block)";
    }
    const HRESULT taken = block.TakeFrom(serialization);
    if (!block.IsTaskAllocatorBlock()) {
        return "GetSerialization (block not from the COM task allocator)";
    }
    if (FAILED(taken)) {
        outcome.failureDetail = "cbSerialization claims " + std::to_string(block.Size()) +
                                " bytes; the task allocator's block holds " + std::to_string(block.RealSize());
        return "GetSerialization (cbSerialization larger than the block)";
    }
    if (block.Size() == 0) {
        return "GetSerialization (credential without a block)";
    }
    return nullptr;
}

// Opens each tile in turn and keeps the first whose user is userName: by its SID when the tile
// names one (ICredentialProviderCredential2), else by the user name it shows. False when none is.
bool FindTileOfUser(ProviderSession& session, const std::wstring& userName, SignInOutcome& outcome) {
    const std::wstring accountSid = SidTextOfAccount(userName);
    for (DWORD index = 0; index < session.TileCount(); ++index) {
        TileConnection tile;
        if (FAILED(tile.Open(session.Provider(), index))) {
            continue;
        }
        std::wstring tileSid;
        if (SUCCEEDED(tile.ReadUserSid(tileSid)) && !accountSid.empty() &&
            CompareStringOrdinal(tileSid.c_str(), -1, accountSid.c_str(), -1, TRUE) == CSTR_EQUAL) {
            outcome.tile = index;
            outcome.tilePick = "its user's SID (GetUserSid)";
            return true;
        }
        std::vector<TileField> fields = session.Fields();
        ReadFieldValues(tile.Tile(), fields);
        const std::wstring shown = TileUserNameLabel(fields);
        if (!shown.empty() && CompareStringOrdinal(shown.c_str(), -1, userName.c_str(), -1, TRUE) == CSTR_EQUAL) {
            outcome.tile = index;
            outcome.tilePick = "the user name it shows";
            return true;
        }
    }
    return false;
}

// Sets outcome.tile; a provider failure's step when no tile answers the choice.
const char* PickTile(ProviderSession& session, const std::wstring& userName, TileChoice choice,
                     bool typesUserName, SignInOutcome& outcome) {
    if (choice.byIndex) {
        outcome.tile = choice.index;
        outcome.tilePick = "--tile";
        return choice.index < session.TileCount() ? nullptr : "--tile (no such tile)";
    }
    if (typesUserName) {
        outcome.tile = session.ChosenTile();
        outcome.tilePick = session.ChosenTile() == session.DefaultTile() ? "the default tile" : "the first tile";
        return nullptr;
    }
    return FindTileOfUser(session, userName, outcome) ? nullptr : "no tile shows the user (GetUserSid or its user name)";
}

}  // namespace

SignInVerdict RunSignIn(ProviderSession& session, const std::wstring& userName, TileChoice choice,
                        const SecretWide& password, NTSTATUS reportStatus, SignInOutcome& outcome) {
    if (session.TileCount() == 0) {
        return ProviderFailed(outcome, "GetCredentialCount (no tile)");
    }
    // A tile with no user-name field to type into shows one user of its own: --user picks it.
    const TileField* userField = FindUserNameField(session.Fields());
    const TileField* passwordField = FindPasswordField(session.Fields());
    if (passwordField == nullptr) {
        return ProviderFailed(outcome, "the tile has no password field");
    }
    if (const char* failedStep = PickTile(session, userName, choice, userField != nullptr, outcome)) {
        outcome.failureDetail = "the provider has " + std::to_string(session.TileCount()) +
                                (session.TileCount() == 1 ? " tile" : " tiles");
        return ProviderFailed(outcome, failedStep, E_INVALIDARG);
    }
    TileConnection tile;
    HRESULT hr = tile.Open(session.Provider(), outcome.tile);
    if (FAILED(hr)) {
        return ProviderFailed(outcome, tile.FailedStep(), hr);
    }
    BOOL autoLogon = FALSE;
    hr = tile.Select(autoLogon);
    if (FAILED(hr)) {
        return ProviderFailed(outcome, tile.FailedStep(), hr);
    }
    if (userField != nullptr) {
        NameProviderCall("SetStringValue (user name)");
        hr = tile.Tile()->SetStringValue(userField->id, userName.c_str());
        if (FAILED(hr)) {
            return ProviderFailed(outcome, "SetStringValue (user name)", hr);
        }
    }
    NameProviderCall("SetStringValue (password)");
    hr = tile.Tile()->SetStringValue(passwordField->id, password.data());
    if (FAILED(hr)) {
        return ProviderFailed(outcome, "SetStringValue (password)", hr);
    }

    const SignInVerdict verdict = SubmitTile(tile.Tile(), session.UsageFlags(), reportStatus, outcome);
    outcome.tileEvents = tile.EventCount();
    return verdict;
}

SignInVerdict SubmitTile(ICredentialProviderCredential* tile, DWORD usageFlags, NTSTATUS reportStatus,
                         SignInOutcome& outcome) {
    // Received into locals: a failed call hands nothing over, whatever it left in them.
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization{};
    ReceivedCoTaskString statusText;
    CREDENTIAL_PROVIDER_STATUS_ICON statusIcon = CPSI_NONE;
    NameProviderCall("GetSerialization");
    outcome.serializationResult = statusText.KeepIfSucceeded(
        tile->GetSerialization(&response, &serialization, statusText.Receive(), &statusIcon));
    if (FAILED(outcome.serializationResult)) {
        return ProviderFailed(outcome, "GetSerialization", outcome.serializationResult);
    }
    outcome.response = response;
    outcome.statusIcon = statusIcon;
    outcome.hasStatusText = statusText.Get() != nullptr;
    outcome.statusText = outcome.hasStatusText ? statusText.Get() : L"";
    // Like the sign-in screen, the host takes the block only with a returned credential: with
    // any other response the provider has handed nothing over, so nothing is freed.
    if (outcome.response != CPGSR_RETURN_CREDENTIAL_FINISHED) {
        return SignInVerdict::Refused;
    }

    SerializationBlock block;
    if (const char* failedStep = TakeBlock(serialization, block, outcome)) {
        return ProviderFailed(outcome, failedStep);
    }
    DecodeSerialization(serialization, block, usageFlags, outcome);
    if (IsMalformedLogon(outcome.logon)) {
        return ProviderFailed(outcome, "GetSerialization (malformed logon block)");
    }
    LogonStatus logon{reportStatus, 0};
    if (outcome.handOver) {
        logon = outcome.handOver(serialization.ulAuthenticationPackage, block.Data(), block.Size());
    }
    ReportLogonResult(tile, logon, outcome);
    return SignInVerdict::SignedIn;
}
