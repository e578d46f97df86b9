#include "agent/agent_reply.h"

#include <string>

#include "agent/agent_system_calls.h"
#include "agent/agent_text.h"
#include "agent/json_find_field.h"

namespace {

// The lookup as the exchange uses it: an absent key reads as an empty value.
std::string FieldValue(std::string_view reply, const char* key) {
    std::string value;
    JsonFindField(reply, key, value);
    return value;
}

// Converts value, up to its first zero byte, into field. A value that does not fit leaves the
// whole field zero: a cut value would be a different name.
template <size_t N>
void ConvertValue(const std::string& value, WCHAR (&field)[N]) noexcept {
    if (g_agentSystemCalls.multiByteToWideChar(CP_UTF8, 0, value.c_str(), -1, field, static_cast<int>(N)) <= 0) {
        ZeroMemory(field, sizeof field);
    }
}

void FillApproval(std::string_view reply, AgentAuthResult& result) {
    // Every lookup before the first write to result: an allocation failure leaves no verdict.
    const std::string userName = FieldValue(reply, "username");
    const std::string fullName = FieldValue(reply, "full_name");
    const std::string source = FieldValue(reply, "source");
    const std::string isAdmin = FieldValue(reply, "is_admin");

    result.status = AgentAuthApproved;
    ConvertValue(userName, result.user_name);
    ConvertValue(fullName, result.full_name);
    ConvertValue(source, result.source);
    result.is_admin = isAdmin == "true" ? 1 : 0;
}

void FillDenial(std::string_view reply, AgentAuthResult& result) {
    const std::string reason = FieldValue(reply, "reason");

    result.status = AgentAuthDenied;
    if (reason.empty()) {
        CopyFixedText(result.message, L"Authentication denied.");
        return;
    }
    ConvertValue(reason, result.message);
}

}  // namespace

void ReadAgentVerdict(std::string_view reply, AgentAuthResult& result) {
    if (FieldValue(reply, "status") == "OK") {
        FillApproval(reply, result);
        return;
    }
    FillDenial(reply, result);
}
