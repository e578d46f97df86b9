#include "sign_in_report.h"

#include "credential_provider_names.h"
#include "display_escaping.h"
#include "utf8_conversion.h"

#include <cstdio>

namespace {

std::string Utf8FromUtf16(const std::u16string& text) { return Utf8FromWide(std::wstring(text.begin(), text.end())); }

// Texts from the provider (and the agent behind it) can neither start a line of the report nor
// reach the terminal as a control sequence.
std::string Quoted(const std::string& utf8) { return "\"" + EscapedForDisplay(utf8) + "\""; }

std::string StatusText(bool present, const std::wstring& text) {
    return present ? Quoted(Utf8FromWide(text)) : std::string("no status text");
}

std::string PackageText(const SignInOutcome& outcome) {
    const std::string name = outcome.packageName.empty() ? "unknown package" : EscapedForDisplay(outcome.packageName);
    return name + " (" + std::to_string(outcome.package) + ")";
}

std::string PlacementText(const PackedLogonString& string) {
    return "offset " + std::to_string(string.offset) + ", " + std::to_string(string.length) + " bytes";
}

std::string SerializationText(const SignInOutcome& outcome) {
    std::string text = "  Serialization: package " + PackageText(outcome) + ", provider " +
                       GuidText(outcome.serializationProvider) + ", " + std::to_string(outcome.serializationSize) +
                       " bytes\n";
    return text + DecodedLogonText(outcome.logon);
}

std::string SubStatusText(NTSTATUS subStatus) {
    char text[32];
    std::snprintf(text, sizeof(text), ", sub-status 0x%08lX", static_cast<unsigned long>(subStatus));
    return subStatus != 0 ? std::string(text) : std::string();
}

std::string ReportResultText(const SignInOutcome& outcome) {
    char status[16];
    std::snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(outcome.reportedStatus));
    const std::string call =
        std::string("  ReportResult(") + status + SubStatusText(outcome.reportedSubStatus) + ") returned " +
        HResultText(outcome.reportResult);
    if (FAILED(outcome.reportResult)) {
        return call + "\n";
    }
    return call + ": " + StatusText(outcome.hasReportText, outcome.reportText) + ", icon " +
           StatusIconName(outcome.reportIcon) + "\n";
}

nlohmann::json TextOrNull(bool present, const std::wstring& text) {
    return present ? nlohmann::json(Utf8FromWide(text)) : nlohmann::json(nullptr);
}

nlohmann::json StringJson(const PackedLogonString& string, bool withText) {
    nlohmann::json json = {
        {"length", string.length}, {"maximum_length", string.maximumLength}, {"offset", string.offset}};
    if (withText) {
        json["text"] = Utf8FromUtf16(string.text);
    } else {
        json["characters"] = string.length / 2;
    }
    return json;
}

nlohmann::json SerializationJson(const SignInOutcome& outcome) {
    nlohmann::json json = {
        {"package", outcome.package},
        {"package_name",
         outcome.packageName.empty() ? nlohmann::json(nullptr) : nlohmann::json(Utf8FromWide(outcome.packageName))},
        {"provider", GuidText(outcome.serializationProvider)},
        {"size", outcome.serializationSize},
    };
    json.update(DecodedLogonJson(outcome.logon));
    return json;
}

// The failed call's result: the step before submission (report.failure), else the sign-in's.
HRESULT FailureResult(const SignInReport& report) {
    return FAILED(report.failure) ? report.failure : report.outcome.failedResult;
}

// Who signs in: the name typed; for a tile that shows a user of its own (nothing typed), the
// user its credential names.
std::string SignInUserText(const SignInReport& report) {
    if (!report.userName.empty()) {
        return Quoted(Utf8FromWide(report.userName));
    }
    const DecodedLogon& logon = report.outcome.logon;
    if (report.outcome.hasSerialization && logon.decoded) {
        return Quoted(Utf8FromUtf16(logon.userName.text)) + " (the tile's own user)";
    }
    return "the tile's own user";
}

std::string TileText(const SignInOutcome& outcome) {
    if (*outcome.tilePick == '\0') {
        return {};
    }
    return "  Tile " + std::to_string(outcome.tile) + ", picked by " + outcome.tilePick + "\n";
}

}  // namespace

std::string DecodedLogonText(const DecodedLogon& logon) {
    const char* typeName = KerberosMessageTypeName(logon.messageType);
    std::string text = "    message type  " + std::to_string(logon.messageType) +
                       (*typeName != '\0' ? std::string(" (") + typeName + ")" : std::string()) + "\n";
    text += std::string("    layout        ") + LogonLayoutName(logon.layout) + "\n";
    if (!logon.decoded) {
        return text + "    not decoded: " + logon.problem + "\n";
    }
    text +=
        "    domain        " + Quoted(Utf8FromUtf16(logon.domain.text)) + "  (" + PlacementText(logon.domain) + ")\n";
    text += "    user name     " + Quoted(Utf8FromUtf16(logon.userName.text)) + "  (" + PlacementText(logon.userName) +
            ")\n";
    text += "    password      " + std::to_string(logon.password.length / 2) + " characters, not shown  (" +
            PlacementText(logon.password) + ")\n";
    return text;
}

nlohmann::json DecodedLogonJson(const DecodedLogon& logon) {
    nlohmann::json json = {
        {"layout", LogonLayoutName(logon.layout)},
        {"message_type", logon.messageType},
        {"message_type_name", KerberosMessageTypeName(logon.messageType)},
        {"decoded", logon.decoded},
    };
    if (!logon.decoded) {
        json["problem"] = logon.problem;
        return json;
    }
    json["domain"] = StringJson(logon.domain, true);
    json["user_name"] = StringJson(logon.userName, true);
    json["password"] = StringJson(logon.password, false);
    json["logon_id"] = logon.hasLogonId ? nlohmann::json(logon.logonId) : nlohmann::json(nullptr);
    return json;
}

const char* SignInVerdictName(SignInVerdict verdict) {
    switch (verdict) {
    case SignInVerdict::SignedIn: return "signed_in";
    case SignInVerdict::Refused: return "refused";
    default: return "provider_failure";
    }
}

std::string SignInReportText(const SignInReport& report) {
    const SignInOutcome& outcome = report.outcome;
    std::string text =
        "Sign-in as " + SignInUserText(report) + ", scenario " + ScenarioText(report.scenario, report.flags) + "\n";
    text += TileText(outcome);
    switch (report.verdict) {
    case SignInVerdict::SignedIn:
        text += "  Signed in: the tile returned a credential (" +
                std::string(SerializationResponseName(outcome.response)) + ")\n";
        text += SerializationText(outcome);
        text += ReportResultText(outcome);
        break;
    case SignInVerdict::Refused:
        text += "  Refused: " + StatusText(outcome.hasStatusText, outcome.statusText) + ", icon " +
                StatusIconName(outcome.statusIcon) + " (" + SerializationResponseName(outcome.response) + ")\n";
        break;
    case SignInVerdict::ProviderFailure:
        text += "  Provider failure: " + std::string(outcome.failedStep) + " (" + HResultText(FailureResult(report)) +
                ")\n";
        if (!outcome.failureDetail.empty()) {
            text += "  " + outcome.failureDetail + "\n";
        }
        if (outcome.hasStatusText) {
            text += "  Status text: " + StatusText(true, outcome.statusText) + ", icon " +
                    StatusIconName(outcome.statusIcon) + "\n";
        }
        if (outcome.hasSerialization) {
            text += SerializationText(outcome);
        }
        break;
    }
    return text;
}

nlohmann::json SignInReportJson(const SignInReport& report) {
    const SignInOutcome& outcome = report.outcome;
    nlohmann::json json = {
        {"outcome", SignInVerdictName(report.verdict)}, {"provider", report.provider},
        {"scenario", ScenarioName(report.scenario)},    {"flags", report.flags},
        {"user", Utf8FromWide(report.userName)},        {"tile_events", outcome.tileEvents},
        {"sign_in_screen",
         {{"shown", report.hiddenBecause.empty()},
          {"hidden_because", report.hiddenBecause.empty() ? nlohmann::json(nullptr)
                                                          : nlohmann::json(report.hiddenBecause)}}},
    };
    if (*outcome.tilePick != '\0') {
        json["tile"] = outcome.tile;
        json["tile_picked_by"] = outcome.tilePick;
    }
    if (report.verdict == SignInVerdict::ProviderFailure) {
        json["failed_step"] = outcome.failedStep;
        json["hresult"] = HResultText(FailureResult(report));
        if (!outcome.failureDetail.empty()) {
            json["detail"] = outcome.failureDetail;
        }
    }
    if (outcome.serializationResult != E_PENDING) {
        json["get_serialization"] = {{"hresult", HResultText(outcome.serializationResult)}};
    }
    // A failed call handed nothing over: its response, text and icon are not reported.
    if (SUCCEEDED(outcome.serializationResult)) {
        json["get_serialization"]["response"] = SerializationResponseName(outcome.response);
        json["get_serialization"]["status_text"] = TextOrNull(outcome.hasStatusText, outcome.statusText);
        json["get_serialization"]["status_icon"] = StatusIconName(outcome.statusIcon);
    }
    if (outcome.hasSerialization) {
        json["serialization"] = SerializationJson(outcome);
    }
    if (outcome.reported) {
        char status[16];
        std::snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(outcome.reportedStatus));
        json["report_result"] = {{"status", status}, {"hresult", HResultText(outcome.reportResult)}};
        if (outcome.reportedSubStatus != 0) {
            std::snprintf(status, sizeof(status), "0x%08lX", static_cast<unsigned long>(outcome.reportedSubStatus));
            json["report_result"]["sub_status"] = status;
        }
        if (SUCCEEDED(outcome.reportResult)) {
            json["report_result"]["status_text"] = TextOrNull(outcome.hasReportText, outcome.reportText);
            json["report_result"]["status_icon"] = StatusIconName(outcome.reportIcon);
        }
    }
    return json;
}
