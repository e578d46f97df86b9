#include "auth_request_handler.h"

#include "auth_request.h"

#include <new>

namespace {

inline constexpr char kBadCredentials[] = "Invalid username or password.";

// Quotes text as a JSON string. Stored names are reply-safe already (no quote, backslash or
// control character), so this only matters for text that did not come from the users file.
void AppendJsonString(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            out += "\\u00";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

std::string RefusalReply(const char* status, const char* reason) {
    std::string reply = "{\"status\":";
    AppendJsonString(reply, status);
    reply += ",\"reason\":";
    AppendJsonString(reply, reason);
    reply += "}";
    return reply;
}

std::string ApprovalReply(const UserRecord& user) {
    std::string reply = "{\"status\":\"OK\",\"username\":";
    AppendJsonString(reply, user.username);
    reply += ",\"full_name\":";
    AppendJsonString(reply, user.fullName);
    reply += ",\"source\":";
    AppendJsonString(reply, kAgentSource);
    reply += user.isAdmin ? ",\"is_admin\":true}" : ",\"is_admin\":false}";
    return reply;
}

AgentDecision Refusal(const char* status, const char* reason, const char* verdict, std::string logUser = "-") {
    AgentDecision decision;
    decision.reply = RefusalReply(status, reason);
    decision.verdict = verdict;
    decision.logUser = std::move(logUser);
    return decision;
}

// Every check of credentials costs as many PBKDF2 iterations as the costliest stored user, so
// that the answer time tells neither whether the name exists nor how costly its hash is: a
// user's own derivation is padded with a decoy derivation of the iterations it lacks, and an
// unknown name or an empty password spends them all on the decoy. The decoy's result is dropped.
void SpendIterations(const AuthRequest& request, ULONG iterations) {
    if (iterations == 0) {
        return;
    }
    static const std::vector<BYTE> kDecoySalt(kPasswordSaltBytes, 0x5A);
    PasswordHash ignored{};
    DerivePasswordHash(request.password.data(), request.password.size(), kDecoySalt, iterations, ignored);
}

AgentDecision DecideOnCredentials(const AuthRequest& request, const UserStore& store) {
    if (request.password.empty()) {
        SpendIterations(request, store.MaxIterations());
        return Refusal("DENIED", kBadCredentials, "DENIED (empty password)", request.username);
    }
    const UserRecord* user = request.username.empty() ? nullptr : store.Find(request.username);
    if (user == nullptr) {
        SpendIterations(request, store.MaxIterations());
        return Refusal("DENIED", kBadCredentials, "DENIED (unknown user)", request.username);
    }
    PasswordHash typed{};
    const HRESULT derived =
        DerivePasswordHash(request.password.data(), request.password.size(), user->salt, user->iterations, typed);
    SpendIterations(request, store.MaxIterations() - user->iterations);
    if (FAILED(derived)) {
        return Refusal("ERROR", "The agent could not check the password.", "ERROR (hashing failed)", request.username);
    }
    if (!PasswordHashesEqual(typed, user->hash)) {
        return Refusal("DENIED", kBadCredentials, "DENIED (wrong password)", request.username);
    }
    AgentDecision decision;
    decision.reply = ApprovalReply(*user);
    decision.logUser = request.username;
    decision.verdict = "OK";
    decision.approved = true;
    return decision;
}

AgentDecision Decide(const char* data, size_t size, const UserStore& store) {
    AuthRequest request;
    const RequestParseStatus parsed = ParseAuthRequest(data, size, request);
    if (parsed == RequestParseStatus::OutOfMemory) {
        throw std::bad_alloc();
    }
    if (parsed != RequestParseStatus::Parsed || !request.hasAction || !request.hasUsername || !request.hasPassword) {
        return Refusal("ERROR", "Malformed request.", "REFUSED (malformed request)",
                       request.hasUsername ? request.username : "-");
    }
    if (request.action != "AUTH") {
        return Refusal("ERROR", "Unsupported action.", "REFUSED (unsupported action)", request.username);
    }
    return DecideOnCredentials(request, store);
}

}  // namespace

AgentDecision HandleAuthRequest(const char* data, size_t size, const UserStore& store) noexcept {
    try {
        return Decide(data, size, store);
    } catch (const std::exception&) {
    }
    // A fixed reply that needs no allocation beyond the small strings below; if even those
    // fail, the server sees an empty reply and closes the connection.
    AgentDecision decision;
    try {
        decision.reply = "{\"status\":\"ERROR\",\"reason\":\"Agent out of memory.\"}";
        decision.logUser = "-";
        decision.verdict = "ERROR (out of memory)";
    } catch (const std::exception&) {
    }
    return decision;
}
