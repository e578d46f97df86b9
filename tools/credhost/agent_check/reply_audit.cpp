#include "reply_audit.h"

#include "agent/agent_reply.h"
#include "agent_auth_result.h"
#include "display_escaping.h"
#include "utf8_conversion.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>

namespace {

using OrderedJson = nlohmann::ordered_json;

// The keys the module looks up.
constexpr std::array<const char*, 6> kModuleKeys = {"status", "reason", "username", "full_name", "source", "is_admin"};

// What a JSON reader takes a value for, in the module's terms: a string as decoded, any other
// value as written, an absent key as empty.
std::string JsonText(const OrderedJson& reply, const char* key) {
    const auto found = reply.find(key);
    if (found == reply.end()) {
        return {};
    }
    return found->is_string() ? found->get<std::string>() : found->dump();
}

// Invalid UTF-8 becomes U+FFFD, which differs from what the module's strict conversion leaves.
std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

// The JSON value as the module's record would hold it, or empty when it does not fit (the module
// drops a value that is too long rather than cutting it).
template <size_t N>
std::wstring AsRecordHolds(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    return wide.size() < N ? wide : std::wstring();
}

std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    const size_t shown = std::min<size_t>(items.size(), 4);
    for (size_t i = 0; i < shown; ++i) {
        text += (i == 0 ? "" : "; ") + items[i];
    }
    if (items.size() > shown) {
        text += "; and " + std::to_string(items.size() - shown) + " more";
    }
    return text;
}

}  // namespace

void ReplyAudit::Note(std::vector<std::string>& list, const std::string& where, const std::string& what) {
    const std::string entry = what + " (" + where + ")";
    if (std::find(list.begin(), list.end(), entry) == list.end()) {
        list.push_back(entry);
    }
}

void ReplyAudit::NoteOversized(const std::string& where) { m_oversized.push_back(where); }

void ReplyAudit::Inspect(const std::string& where, std::string_view reply) {
    ++m_replies;
    m_largest = std::max(m_largest, reply.size());
    const OrderedJson json = OrderedJson::parse(reply.begin(), reply.end(), nullptr, false);
    if (!json.is_object()) {
        Note(m_disagreements, where, "the reply is not one JSON object");
        return;
    }
    AgentAuthResult module{};
    ReadAgentVerdict(reply, module);

    const bool jsonApproves = JsonText(json, "status") == "OK" && json["status"].is_string();
    if ((module.status == AgentAuthApproved) != jsonApproves) {
        Note(m_disagreements, where, std::string("status: the module reads ") +
                                         (module.status == AgentAuthApproved ? "approval" : "refusal") +
                                         ", JSON \"" + EscapedForDisplay(JsonText(json, "status")) + "\"");
    }
    if (json.begin().key() != "status") {
        Note(m_layout, where, "\"status\" is not the first key");
    }
    for (const auto& item : json.items()) {
        if (!item.value().is_string()) {
            continue;
        }
        const std::string value = item.value().get<std::string>();
        const bool isModuleKey = std::find_if(kModuleKeys.begin(), kModuleKeys.end(),
                                              [&](const char* key) { return value == key; }) != kModuleKeys.end();
        if (isModuleKey || json.contains(value)) {
            Note(m_layout, where, "the value of " + EscapedForDisplay(item.key()) + " is a key's name");
        }
    }

    const auto compare = [&](const char* key, const std::wstring& moduleValue, const std::wstring& jsonValue) {
        if (moduleValue != jsonValue) {
            Note(m_disagreements, where, std::string(key) + ": the module reads \"" + EscapedForDisplay(moduleValue) +
                                             "\", JSON \"" + EscapedForDisplay(jsonValue) + "\"");
        }
    };
    const auto fits = [&](const char* key, size_t capacity) {
        const size_t units = Wide(JsonText(json, key)).size();
        if (units >= capacity) {
            Note(m_cut, where, std::string(key) + " of " + std::to_string(units) + " units");
        }
    };
    if (module.status != AgentAuthApproved || !jsonApproves) {
        const std::string reason = JsonText(json, "reason");
        compare("reason", module.message,
                reason.empty() ? L"Authentication denied." : AsRecordHolds<kAgentTextCapacity>(reason));
        fits("reason", kAgentTextCapacity);
        return;
    }
    compare("username", module.user_name, AsRecordHolds<kAgentTextCapacity>(JsonText(json, "username")));
    compare("full_name", module.full_name, AsRecordHolds<kAgentTextCapacity>(JsonText(json, "full_name")));
    compare("source", module.source, AsRecordHolds<kAgentSourceCapacity>(JsonText(json, "source")));
    const std::string isAdmin = JsonText(json, "is_admin");
    compare("is_admin", module.is_admin != 0 ? L"true" : L"false", isAdmin == "true" ? L"true" : L"false");
    fits("username", kAgentTextCapacity);
    fits("full_name", kAgentTextCapacity);
    fits("source", kAgentSourceCapacity);
}

void ReplyAudit::AddLines(CheckReport& report) const {
    const std::string replies = std::to_string(m_replies) + " replies";
    if (!m_oversized.empty()) {
        AddCheck(report, "reply size", CheckStatus::Fail,
                 "a reply over 4095 bytes, which the module cannot read (" + Listed(m_oversized) + ")",
                 "keep every reply within 4095 bytes: the tile says \"qm-agent pipe read failed\"");
    } else {
        AddCheck(report, "reply size", CheckStatus::Ok,
                 "the largest of " + replies + " is " + std::to_string(m_largest) + " bytes (at most 4095)");
    }
    if (!m_disagreements.empty()) {
        AddCheck(report, "reply reading", CheckStatus::Fail,
                 "the module's key lookup and a JSON parser read differently: " + Listed(m_disagreements),
                 "reply with one flat object, \"status\" first, values without \" or \\");
    } else {
        AddCheck(report, "reply reading", CheckStatus::Ok, "the module reads " + replies + " as JSON does");
    }
    if (!m_layout.empty()) {
        AddCheck(report, "reply keys", CheckStatus::Fail, Listed(m_layout),
                 "put \"status\" first and never use a key's name as a value: the module takes the first "
                 "quoted occurrence of a key, wherever it stands");
    } else {
        AddCheck(report, "reply keys", CheckStatus::Ok, "\"status\" first, and no value is a key's name");
    }
    if (!m_cut.empty()) {
        AddCheck(report, "reply fits", CheckStatus::Fail,
                 "a value too long for the module's record, which drops it: " + Listed(m_cut),
                 "keep reason, username and full_name within 255 UTF-16 units and source within 31");
    } else {
        AddCheck(report, "reply fits", CheckStatus::Ok, "every value fits the module's record");
    }
}
