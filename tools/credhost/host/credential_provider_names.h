// The words a host prints for the credential-provider enums, GUIDs and result codes.
#pragma once

#include <credentialprovider.h>

#include <string>
#include <vector>

const char* ScenarioName(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario);
// "credui" with no flags, "credui (flags 0x10000000)" with some.
std::string ScenarioText(CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags);
const char* FieldTypeName(CREDENTIAL_PROVIDER_FIELD_TYPE type);
const char* FieldStateName(CREDENTIAL_PROVIDER_FIELD_STATE state);
const char* InteractiveStateName(CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE state);
const char* StatusIconName(CREDENTIAL_PROVIDER_STATUS_ICON icon);
const char* SerializationResponseName(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response);

// The options a tile gives a field, in words: "password reveal, e-mail address"; "none" for none.
// Bits this host does not know are shown as one hexadecimal rest.
std::vector<std::string> FieldOptionNames(CREDENTIAL_PROVIDER_CREDENTIAL_FIELD_OPTIONS options);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces and upper-case digits, as the registry writes it
std::string GuidText(const GUID& guid);

// "0x80004001 (E_NOTIMPL)"; the name only for the codes a provider commonly returns, and for an
// NTSTATUS of the logon table wrapped as an HRESULT ("0xD0000001 (STATUS_UNSUCCESSFUL)").
std::string HResultText(HRESULT hr);
