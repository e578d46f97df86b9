#include <gtest/gtest.h>

#include "agent_auth_result.h"
#include "support/scripted_agent.h"

TEST(AgentExchange, ApprovalFillsTheAccountFields) {
    ScriptedAgent agent(AgentBehaviour::ReplyWith(
        R"({"status":"OK","username":"bob","full_name":"Bob B","source":"local","is_admin":true})"));
    ASSERT_TRUE(agent.Start()) << GetLastError();

    AgentAuthResult result = {};
    EXPECT_EQ(AgentAuthClient(L"alice", L"pw", &result), S_OK);
    EXPECT_EQ(result.status, AgentAuthApproved);
    EXPECT_STREQ(result.message, L"");
    EXPECT_STREQ(result.user_name, L"bob");
    EXPECT_STREQ(result.full_name, L"Bob B");
    EXPECT_STREQ(result.source, L"local");
    EXPECT_EQ(result.is_admin, 1);

    agent.Stop();
    ASSERT_EQ(agent.Requests().size(), 1u);
    EXPECT_EQ(agent.Requests()[0], R"({"action":"AUTH","username":"alice","password":"pw"})");
}
