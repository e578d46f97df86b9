// What `credhost show` prints: the provider's tiles as a person would see them, as text or as
// one JSON object.
#pragma once

#include "local_user_array.h"
#include "provider_target.h"
#include "tile_fields.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

struct TileView {
    DWORD index = 0;
    HRESULT openResult = S_OK;
    const char* failedStep = "";
    std::vector<TileField> fields;
    HRESULT userSidResult = E_NOINTERFACE;  // ICredentialProviderCredential2::GetUserSid
    std::wstring userSid;
};

struct ShowReport {
    std::string provider;  // DescribeProviderTarget
    CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario = CPUS_LOGON;
    DWORD flags = 0;
    DWORD tileCount = 0;
    DWORD defaultTile = CREDENTIAL_PROVIDER_NO_DEFAULT;
    BOOL autoLogon = FALSE;
    bool takesNoPart = false;  // SetUsageScenario answered E_NOTIMPL
    HRESULT userArrayResult = E_NOINTERFACE;  // SetUserArray's; E_NOINTERFACE: not taken
    std::vector<LocalAccount> userArray;
    std::vector<TileView> tiles;
};

std::string ShowReportText(const ShowReport& report);
nlohmann::json ShowReportJson(const ShowReport& report);

// A tile that could not be opened, or a getter that succeeded without a value: the report is
// printed whole, and the command exits with kExitProviderFailure.
bool ShowReportHasProviderFailure(const ShowReport& report);

// A field's value in words: "\"Quillmere\"", "beside field 2", "no bitmap (0x80004001 (E_NOTIMPL))".
std::string FieldValueText(const TileField& field);
