#include "tile/field_table.h"

namespace {

// The descriptor record's label is a non-const pointer in the SDK's declaration; these labels
// are never written and never freed.
LPWSTR Label(const wchar_t* text) noexcept { return const_cast<LPWSTR>(text); }

constexpr GUID kNoFieldType = {};  // GUID_NULL, spelt as a constant so it needs no other unit

}  // namespace

// The CPFG_* GUIDs are defined in another translation unit, so copying them here is dynamic
// initialisation; it finishes during module start-up, before any export can be called.
const CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR FieldDescriptorTable[FieldCount] = {
    {FieldImage, CPFT_TILE_IMAGE, Label(L"Image"), CPFG_CREDENTIAL_PROVIDER_LOGO},
    {FieldUserName, CPFT_EDIT_TEXT, Label(L"Username or email"), CPFG_LOGON_USERNAME},
    {FieldPassword, CPFT_PASSWORD_TEXT, Label(L"Password"), CPFG_LOGON_PASSWORD},
    {FieldSubmit, CPFT_SUBMIT_BUTTON, Label(L"Submit"), kNoFieldType},
    {FieldProviderLabel, CPFT_SMALL_TEXT, Label(kProviderLabelText), kNoFieldType},
};

// Static: no field is ever shown, hidden or focused at run time, and the scenario changes none.
const FieldStateTableType FieldStateTable = {
    {
        CPFS_DISPLAY_IN_BOTH,           // FieldImage
        CPFS_DISPLAY_IN_SELECTED_TILE,  // FieldUserName
        CPFS_DISPLAY_IN_SELECTED_TILE,  // FieldPassword
        CPFS_DISPLAY_IN_SELECTED_TILE,  // FieldSubmit
        CPFS_DISPLAY_IN_BOTH,           // FieldProviderLabel
    },
    {
        CPFIS_NONE,     // FieldImage
        CPFIS_FOCUSED,  // FieldUserName: the box that has the focus when the tile is selected
        CPFIS_NONE,     // FieldPassword
        CPFIS_NONE,     // FieldSubmit
        CPFIS_NONE,     // FieldProviderLabel
    },
};
