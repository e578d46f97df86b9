#include "tile_report.h"

#include "credential_provider_names.h"
#include "display_escaping.h"
#include "utf8_conversion.h"

namespace {

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

// Labels and values come from the provider: escaped, they can neither start a line of the
// report nor reach the terminal as a control sequence.
std::string Quoted(const std::wstring& text) { return "\"" + EscapedForDisplay(text) + "\""; }

std::string DefaultTileText(const ShowReport& report) {
    if (report.defaultTile == CREDENTIAL_PROVIDER_NO_DEFAULT) {
        return "no default tile";
    }
    return "default tile " + std::to_string(report.defaultTile) +
           (report.autoLogon ? ", automatic sign-in with it" : ", no automatic sign-in");
}

std::string OptionsText(const TileField& field) {
    if (FAILED(field.optionsResult) || field.options == CPCFO_NONE) {
        return {};
    }
    std::string text;
    for (const std::string& name : FieldOptionNames(field.options)) {
        text += (text.empty() ? "  [" : ", ") + name;
    }
    return text + "]";
}

std::string UserArrayText(const ShowReport& report) {
    if (report.userArrayResult == E_NOINTERFACE) {
        return "User array: not taken (no ICredentialProviderSetUserArray)\n";
    }
    std::string names;
    for (const LocalAccount& account : report.userArray) {
        names += (names.empty() ? "" : ", ") + Quoted(account.userName);
    }
    const size_t count = report.userArray.size();
    return "User array: " + std::to_string(count) + (count == 1 ? " local account" : " local accounts") +
           (names.empty() ? std::string() : " (" + names + ")") + ", SetUserArray returned " +
           HResultText(report.userArrayResult) + "\n";
}

nlohmann::json UserArrayJson(const ShowReport& report) {
    if (report.userArrayResult == E_NOINTERFACE) {
        return nullptr;
    }
    nlohmann::json users = nlohmann::json::array();
    for (const LocalAccount& account : report.userArray) {
        users.push_back({{"user_name", Utf8FromWide(account.userName)}, {"sid", Utf8FromWide(account.sid)}});
    }
    return {{"hresult", HResultText(report.userArrayResult)}, {"users", std::move(users)}};
}

std::string FieldLine(const TileField& field) {
    const std::string state = SUCCEEDED(field.stateResult) ? FieldStateName(field.state) : "state failed";
    const std::string interactive =
        SUCCEEDED(field.stateResult) ? InteractiveStateName(field.interactiveState) : HResultText(field.stateResult);
    return "    " + Padded(std::to_string(field.id), 4) + Padded(FieldTypeName(field.type), 15) +
           Padded(Quoted(field.label), 22) + Padded(state, 17) + Padded(interactive, 11) + FieldValueText(field) + OptionsText(field) + "\n";
}

nlohmann::json FieldJson(const TileField& field) {
    nlohmann::json json = {
        {"id", field.id},
        {"type", FieldTypeName(field.type)},
        {"label", Utf8FromWide(field.label)},
        {"field_type_guid", GuidText(field.guidFieldType)},
        {"state", SUCCEEDED(field.stateResult) ? FieldStateName(field.state) : nullptr},
        {"interactive_state", SUCCEEDED(field.stateResult) ? InteractiveStateName(field.interactiveState) : nullptr},
        {"value_hresult", HResultText(field.valueResult)},
    };
    if (field.valueMissing) {
        json["value_missing"] = true;
    }
    if (SUCCEEDED(field.optionsResult)) {
        json["options"] = FieldOptionNames(field.options);
    }
    if (FAILED(field.valueResult) || field.valueMissing) {
        return json;
    }
    switch (field.type) {
    case CPFT_PASSWORD_TEXT: json["value_length"] = field.secretLength; break;
    case CPFT_SUBMIT_BUTTON: json["adjacent_to"] = field.adjacentTo; break;
    case CPFT_TILE_IMAGE: json["bitmap"] = {{"width", field.bitmapWidth}, {"height", field.bitmapHeight}}; break;
    case CPFT_CHECKBOX:
        json["checked"] = field.checked != FALSE;
        json["value"] = Utf8FromWide(field.text);
        break;
    case CPFT_COMBOBOX: {
        nlohmann::json items = nlohmann::json::array();
        for (const std::wstring& item : field.comboItems) {
            items.push_back(Utf8FromWide(item));
        }
        json["items"] = std::move(items);
        json["selected"] = field.comboSelected;
        break;
    }
    default: json["value"] = Utf8FromWide(field.text); break;
    }
    return json;
}

}  // namespace

std::string FieldValueText(const TileField& field) {
    if (field.valueMissing) {
        return "provider failure: " + HResultText(field.valueResult) + " without a value";
    }
    if (FAILED(field.valueResult)) {
        return field.type == CPFT_TILE_IMAGE ? "no bitmap (" + HResultText(field.valueResult) + ")"
                                             : "value failed: " + HResultText(field.valueResult);
    }
    switch (field.type) {
    case CPFT_PASSWORD_TEXT:
        return field.secretLength == 0 ? "\"\"" : std::to_string(field.secretLength) + " characters (not shown)";
    case CPFT_SUBMIT_BUTTON: return "beside field " + std::to_string(field.adjacentTo);
    case CPFT_TILE_IMAGE:
        return "bitmap " + std::to_string(field.bitmapWidth) + "x" + std::to_string(field.bitmapHeight);
    case CPFT_CHECKBOX: return std::string(field.checked ? "[x] " : "[ ] ") + Quoted(field.text);
    case CPFT_COMBOBOX: {
        std::string items;
        for (const std::wstring& item : field.comboItems) {
            items += (items.empty() ? "" : ", ") + Quoted(item);
        }
        return items + " (item " + std::to_string(field.comboSelected) + " selected)";
    }
    default: return Quoted(field.text);
    }
}

bool ShowReportHasProviderFailure(const ShowReport& report) {
    for (const TileView& tile : report.tiles) {
        if (FAILED(tile.openResult)) {
            return true;
        }
        for (const TileField& field : tile.fields) {
            if (field.valueMissing) {
                return true;
            }
        }
    }
    return false;
}

std::string ShowReportText(const ShowReport& report) {
    std::string text =
        "Provider " + report.provider + ", scenario " + ScenarioText(report.scenario, report.flags) + "\n";
    if (report.takesNoPart) {
        return text + "The provider takes no part in this scenario (SetUsageScenario returned E_NOTIMPL): no tiles\n";
    }
    text += UserArrayText(report);
    text += std::to_string(report.tileCount) + (report.tileCount == 1 ? " tile, " : " tiles, ") +
            DefaultTileText(report) + "\n";
    for (const TileView& tile : report.tiles) {
        text += "  Tile " + std::to_string(tile.index) + (tile.index == report.defaultTile ? " (default)" : "") + ":\n";
        if (FAILED(tile.openResult)) {
            text += "    " + std::string(tile.failedStep) + " failed: " + HResultText(tile.openResult) + "\n";
            continue;
        }
        if (SUCCEEDED(tile.userSidResult)) {
            text += "    user (GetUserSid): " + Quoted(tile.userSid) + "\n";
        }
        text += "    " + Padded("id", 4) + Padded("type", 15) + Padded("label", 22) + Padded("shown in", 17) +
                Padded("input", 11) + "value\n";
        for (const TileField& field : tile.fields) {
            text += FieldLine(field);
        }
    }
    return text;
}

nlohmann::json ShowReportJson(const ShowReport& report) {
    nlohmann::json tiles = nlohmann::json::array();
    for (const TileView& tile : report.tiles) {
        nlohmann::json fields = nlohmann::json::array();
        for (const TileField& field : tile.fields) {
            fields.push_back(FieldJson(field));
        }
        nlohmann::json json = {{"index", tile.index}, {"fields", std::move(fields)}};
        if (SUCCEEDED(tile.userSidResult)) {
            json["user_sid"] = Utf8FromWide(tile.userSid);
        }
        if (FAILED(tile.openResult)) {
            json["failed_step"] = tile.failedStep;
            json["hresult"] = HResultText(tile.openResult);
        }
        tiles.push_back(std::move(json));
    }
    return {
        {"provider", report.provider},
        {"scenario", ScenarioName(report.scenario)},
        {"flags", report.flags},
        {"tile_count", report.tileCount},
        {"default_tile", report.defaultTile == CREDENTIAL_PROVIDER_NO_DEFAULT ? nlohmann::json(nullptr)
                                                                              : nlohmann::json(report.defaultTile)},
        {"auto_logon", report.autoLogon != FALSE},
        {"takes_part", !report.takesNoPart},
        {"user_array", UserArrayJson(report)},
        {"tiles", std::move(tiles)},
    };
}
