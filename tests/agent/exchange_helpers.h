// Shared steps of the agent exchange tests: one exchange with a record the exchange must reset,
// the checks of a failed exchange, and replies built to a given size.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "agent/agent_auth_client.h"
#include "agent/agent_system_calls.h"
#include "support/scoped_system_calls.h"
#include "support/scripted_agent.h"

struct Outcome {
    HRESULT hr;
    AgentAuthResult result;
};

// Runs one exchange into a record filled with garbage, so that every field the exchange fails to
// reset shows.
inline Outcome Exchange(PCWSTR userName = L"alice", PCWSTR password = L"secret") {
    Outcome outcome;
    std::memset(&outcome.result, 0x5A, sizeof outcome.result);
    outcome.hr = AgentAuthClient(userName, password, &outcome.result);
    return outcome;
}

// Runs one exchange against an agent that answers it with reply.
inline Outcome ExchangeWithReply(const std::string& reply) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(reply));
    EXPECT_TRUE(agent.Start()) << GetLastError();
    return Exchange();
}

template <size_t N>
bool IsAllZero(const WCHAR (&field)[N]) {
    for (WCHAR unit : field) {
        if (unit != 0) {
            return false;
        }
    }
    return true;
}

// Whether every unit after the text's terminator is zero too.
template <size_t N>
bool IsZeroAfterText(const WCHAR (&field)[N]) {
    size_t i = 0;
    while (i < N && field[i] != 0) {
        ++i;
    }
    for (; i < N; ++i) {
        if (field[i] != 0) {
            return false;
        }
    }
    return true;
}

// An outcome that fills message alone (or nothing, for an empty one): no account data.
inline void ExpectOnlyMessage(const Outcome& outcome, HRESULT hr, INT32 status, const std::wstring& message) {
    EXPECT_EQ(outcome.hr, hr);
    EXPECT_EQ(outcome.result.status, status);
    EXPECT_EQ(outcome.result.message, message);
    EXPECT_TRUE(IsZeroAfterText(outcome.result.message));
    EXPECT_TRUE(IsAllZero(outcome.result.user_name));
    EXPECT_TRUE(IsAllZero(outcome.result.full_name));
    EXPECT_TRUE(IsAllZero(outcome.result.source));
    EXPECT_EQ(outcome.result.is_admin, 0);
}

// A failed exchange: no verdict, and the given text.
inline void ExpectNoVerdict(const Outcome& outcome, HRESULT hr, const std::wstring& message) {
    ExpectOnlyMessage(outcome, hr, AgentAuthNoVerdict, message);
}

// An approving reply of exactly size bytes, padded with a key the exchange does not read.
inline std::string ApprovalOfSize(size_t size) {
    const std::string head = R"({"status":"OK","username":"bob","pad":")";
    const std::string tail = R"("})";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}
