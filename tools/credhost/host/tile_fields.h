// What a host learns about a tile's fields: the provider's descriptors (id, type, label, field
// type GUID) and, per tile, each field's state and the value the tile serves for it. A password
// field's value is never kept: only its length.
#pragma once

#include <credentialprovider.h>

#include "provider_contract.h"

#include <string>
#include <vector>

struct TileField {
    // From ICredentialProvider::GetFieldDescriptorAt.
    DWORD id = 0;
    CREDENTIAL_PROVIDER_FIELD_TYPE type = CPFT_INVALID;
    std::wstring label;
    GUID guidFieldType{};

    // From the tile: GetFieldState, then the getter that serves this field's type.
    HRESULT stateResult = E_PENDING;
    CREDENTIAL_PROVIDER_FIELD_STATE state = CPFS_HIDDEN;
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactiveState = CPFIS_NONE;
    HRESULT valueResult = E_PENDING;
    bool valueMissing = false;  // the getter succeeded but left its out-parameter null
    std::wstring text;          // text fields (not the password field), checkbox label
    size_t secretLength = 0;    // password fields: length of what the tile served
    DWORD adjacentTo = 0;       // submit button
    BOOL checked = FALSE;       // checkbox
    std::vector<std::wstring> comboItems;
    DWORD comboSelected = 0;
    LONG bitmapWidth = 0;  // tile image, when the tile served one
    LONG bitmapHeight = 0;

    // ICredentialProviderCredentialWithFieldOptions::GetFieldOptions, or SetFieldOptions since;
    // E_NOINTERFACE for a tile without field options.
    HRESULT optionsResult = E_NOINTERFACE;
    CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options = CPCFO_NONE;
};

// Reads every descriptor; the provider's blocks are freed as they are copied. On failure the
// fields read so far are kept and failedStep names the call that failed. A count above
// kMaxFieldDescriptors, a null descriptor or a null label fail with kProviderContractBroken.
HRESULT ReadFieldDescriptors(ICredentialProvider* provider, std::vector<TileField>& fields, const char*& failedStep);

// Fills the state, value and options of every field from the tile, freeing (and for text,
// wiping) every block that the tile hands out. A getter that succeeds without a value sets
// valueMissing.
void ReadFieldValues(ICredentialProviderCredential* tile, std::vector<TileField>& fields);

// The field a host types the user name and the password into: the one of the edit / password
// type tagged with the logon field-type GUID, else the first of that type. Null when there is
// none: a tile that shows one user has no user-name field to type into.
const TileField* FindUserNameField(const std::vector<TileField>& fields);
const TileField* FindPasswordField(const std::vector<TileField>& fields);

// The user a tile without a user-name field shows: the text of the field tagged with the logon
// user-name GUID, else of its first large text field; empty when it shows none.
std::wstring TileUserNameLabel(const std::vector<TileField>& fields);
