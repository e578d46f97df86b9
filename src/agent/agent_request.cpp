#include "agent/agent_request.h"

#include <string_view>

namespace {

constexpr std::string_view kOpening = R"({"action":"AUTH","username":")";
constexpr std::string_view kMiddle = R"(","password":")";
constexpr std::string_view kClosing = R"("})";

void Append(SecureBytes& out, std::string_view piece) { out.insert(out.end(), piece.begin(), piece.end()); }

}  // namespace

void BuildAgentRequest(const SecureBytes& escapedUserName, const SecureBytes& escapedPassword, SecureBytes& request) {
    SecureBytes fresh;
    fresh.reserve(kOpening.size() + escapedUserName.size() + kMiddle.size() + escapedPassword.size() + kClosing.size());
    Append(fresh, kOpening);
    fresh.insert(fresh.end(), escapedUserName.begin(), escapedUserName.end());
    Append(fresh, kMiddle);
    fresh.insert(fresh.end(), escapedPassword.begin(), escapedPassword.end());
    Append(fresh, kClosing);
    request.swap(fresh);
}
