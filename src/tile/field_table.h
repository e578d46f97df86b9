// The tile's five fields: their descriptors (read by the provider, which hands out copies) and
// their display states (read by the tile). Indexed by TileFieldId.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

#include "tile_field_id.h"

// The labels point at the module's constant strings and are never handed out directly. The
// field-type GUIDs are copied in during static initialisation, before any export can run.
extern const CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR FieldDescriptorTable[FieldCount];

struct FieldStateTableType {
    CREDENTIAL_PROVIDER_FIELD_STATE state[FieldCount];
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive[FieldCount];
};
extern const FieldStateTableType FieldStateTable;

// The provider's name, shown as field 4's label and served as its value.
inline constexpr wchar_t kProviderLabelText[] = L"Quillmere";
