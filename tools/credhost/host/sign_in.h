// One sign-in through a provider's tile, as the sign-in screen runs it: select the tile, type
// the user name and the password into its fields, submit (GetSerialization), and after a
// returned credential report the logon's result (ReportResult). The host decodes the
// serialization, and performs a logon only when its caller hands the credential over to Windows
// (SignInOutcome::handOver); otherwise it reports the status it was told to.
#pragma once

#include <windows.h>

#include "kerberos_logon_decoder.h"
#include "provider_session.h"
#include "wiping_allocator.h"

#include <functional>
#include <string>

// What the sign-in screen tells ReportResult after its logon: LsaLogonUser's status and sub-status.
struct LogonStatus {
    NTSTATUS status = 0;
    NTSTATUS subStatus = 0;
};

// Hands a returned credential to Windows between GetSerialization and ReportResult, as the
// sign-in screen does. It sees the block while the host still owns it (and copies what it keeps)
// and returns what ReportResult is then told.
using CredentialHandOver = std::function<LogonStatus(ULONG package, const unsigned char* data, ULONG size)>;

struct SignInOutcome {
    CredentialHandOver handOver;  // set by the caller; without it ReportResult gets the status asked for

    const char* failedStep = "";  // the call that failed, when the provider failed
    HRESULT failedResult = S_OK;  // its result; kProviderContractBroken for a broken contract
    std::string failureDetail;    // what was wrong with what it handed over, when known

    // GetSerialization's out-parameters, kept only when it succeeded.
    HRESULT serializationResult = E_PENDING;
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
    bool hasStatusText = false;
    std::wstring statusText;
    CREDENTIAL_PROVIDER_STATUS_ICON statusIcon = CPSI_NONE;

    bool hasSerialization = false;
    ULONG package = 0;
    std::wstring packageName;
    GUID serializationProvider{};
    ULONG serializationSize = 0;
    DecodedLogon logon;

    bool reported = false;
    NTSTATUS reportedStatus = 0;
    NTSTATUS reportedSubStatus = 0;
    HRESULT reportResult = E_PENDING;  // ReportResult's text and icon, kept only when it succeeded
    bool hasReportText = false;
    std::wstring reportText;
    CREDENTIAL_PROVIDER_STATUS_ICON reportIcon = CPSI_NONE;

    LONG tileEvents = 0;
    DWORD tile = 0;               // the tile signed in with
    const char* tilePick = "";    // why that one: "--tile", "its user's SID", ...
};

// Which tile a sign-in uses: --tile N; else, when the tiles have no user-name field to type
// into (one tile per user), the one whose user is the one named, by GetUserSid against the
// account's SID or by the user name the tile shows; else the tile a person starts with.
struct TileChoice {
    bool byIndex = false;
    DWORD index = 0;
};

enum class SignInVerdict { SignedIn, Refused, ProviderFailure };

// Runs the sign-in on the tile that choice and userName pick. userName is typed into the tile's
// user-name field, if it has one; password into its password field. password holds a
// terminating zero; the tile copies it, and the serialization's block is wiped before it is
// freed. The credential is decoded in the layout that the session's usage flags ask for.
SignInVerdict RunSignIn(ProviderSession& session, const std::wstring& userName, TileChoice choice,
                        const SecretWide& password, NTSTATUS reportStatus, SignInOutcome& outcome);

// The submission alone, on a selected tile that holds what was typed: GetSerialization, the
// credential decoded for usageFlags, then ReportResult(reportStatus).
SignInVerdict SubmitTile(ICredentialProviderCredential* tile, DWORD usageFlags, NTSTATUS reportStatus,
                         SignInOutcome& outcome);
