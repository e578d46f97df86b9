// Turns one request message into the agent's reply: the decision of the test agent.
#pragma once

#include "user_store.h"

#include <string>

// The reply "source" of every approval.
inline constexpr char kAgentSource[] = "test-agent";

struct AgentDecision {
    std::string reply;    // the reply message: one flat JSON object
    std::string logUser;  // the user name as the request gave it, "-" when it gave none
    std::string verdict;  // for the log: "OK", "DENIED (...)", "REFUSED (...)", "ERROR (...)"
    bool approved = false;
};

// Decides on size bytes of request, one whole message. Never throws; the password is decoded into
// a wiping buffer and never copied into the decision. The caller wipes data.
AgentDecision HandleAuthRequest(const char* data, size_t size, const UserStore& store) noexcept;
